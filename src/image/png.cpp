#include "image/png.h"

#include <stb_image_write.h>

namespace torvel {

namespace {

void append(void *Context, void *Data, int Size) {
  static_cast<std::string *>(Context)->append(static_cast<const char *>(Data),
                                              std::size_t(Size));
}

std::string encode(const std::uint8_t *Pixels, std::int32_t Width,
                   std::int32_t Height, int Channels) {
  // The encoder's shortest search, and each row against the one above (a
  // sheet's rows repeat): a third faster than trying every filter at level
  // 8, for files a few per cent larger.
  stbi_write_png_compression_level = 5;
  stbi_write_force_png_filter = 2;
  std::string Out;
  if (!stbi_write_png_to_func(append, &Out, Width, Height, Channels, Pixels,
                              Width * Channels))
    Out.clear();
  return Out;
}

} // namespace

std::string writePng(const GreyImage &Image) {
  return encode(Image.Levels.data(), Image.Width, Image.Height, 1);
}

std::string writePng(const RgbaImage &Image) {
  return encode(Image.pixels().data(), Image.width(), Image.height(), 4);
}

} // namespace torvel

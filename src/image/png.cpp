#include "image/png.h"

#include <stb_image_write.h>

namespace torvel {

namespace {

void append(void *Context, void *Data, int Size) {
  static_cast<std::string *>(Context)->append(static_cast<const char *>(Data),
                                              std::size_t(Size));
}

} // namespace

std::string greyPng(const GreyImage &Image) {
  std::string Out;
  if (!stbi_write_png_to_func(append, &Out, Image.Width, Image.Height, 1,
                              Image.Levels.data(), Image.Width))
    Out.clear();
  return Out;
}

} // namespace torvel

#include "image/image.h"

#include "image/stb.h"

namespace torvel {

RgbaImage RgbaImage::allocate(std::int32_t Width, std::int32_t Height) {
  const std::size_t Size = std::size_t(Width) * std::size_t(Height) * 4;
  auto *Pixels = static_cast<std::uint8_t *>(stbAllocate(Size));
  return Pixels ? RgbaImage(Width, Height, Pixels) : RgbaImage();
}

void RgbaImage::Release::operator()(std::uint8_t *Pixels) const {
  stbRelease(Pixels);
}

} // namespace torvel

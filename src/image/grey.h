// Decoded colour to grey levels: each pixel over the background first, then
// weighed as the eye sees it, in integers so that every platform agrees.
#ifndef TORVEL_IMAGE_GREY_H
#define TORVEL_IMAGE_GREY_H

#include "image/image.h"

#include <cstdint>

namespace torvel {

// Channel C with alpha A over background level Bg (0 or 255).
constexpr std::uint32_t overBackground(std::uint32_t C, std::uint32_t A,
                                       std::uint32_t Bg) {
  return (C * A + Bg * (255 - A) + 127) / 255;
}

// The grey level of an opaque colour.
constexpr std::uint32_t greyLevel(std::uint32_t R, std::uint32_t G,
                                  std::uint32_t B) {
  return (299 * R + 587 * G + 114 * B + 500) / 1000;
}

// The grey level of each pixel of Image put over white, or over black.
GreyImage greyLevels(const RgbaImage &Image, bool BlackBackground);

} // namespace torvel

#endif

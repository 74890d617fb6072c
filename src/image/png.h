// PNG files written by stb_image_write.
#ifndef TORVEL_IMAGE_PNG_H
#define TORVEL_IMAGE_PNG_H

#include "image/image.h"

#include <string>

namespace torvel {

// The bytes of an 8-bit grey PNG of Image, or an RGBA one; empty when the
// encoder cannot have its memory. Images are at least 1 x 1.
std::string writePng(const GreyImage &Image);
std::string writePng(const RgbaImage &Image);

} // namespace torvel

#endif

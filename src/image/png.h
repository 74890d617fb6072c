// PNG files of grey images, written by stb_image_write.
#ifndef TORVEL_IMAGE_PNG_H
#define TORVEL_IMAGE_PNG_H

#include "image/image.h"

#include <string>

namespace torvel {

// The bytes of an 8-bit grey PNG of Image (at least 1 x 1); empty when the
// encoder cannot have its memory.
std::string greyPng(const GreyImage &Image);

} // namespace torvel

#endif

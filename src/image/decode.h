// A picture file's bytes to RGBA pixels: PNG, JPEG, GIF (its first frame),
// BMP and binary PNM, bounded before any pixel memory is taken.
#ifndef TORVEL_IMAGE_DECODE_H
#define TORVEL_IMAGE_DECODE_H

#include "base/byte_source.h"
#include "image/image.h"

#include <cstdint>
#include <string>

namespace torvel {

struct DecodeLimits {
  std::int32_t MaxSide = 16384;
  // Width x height x 4.
  std::uint64_t MaxBytes = std::uint64_t(256) << 20;
};

// Decodes the picture in Source. On failure the image is empty and Reason
// says why, for "cannot read image NAME: <Reason>": not a picture of a kind
// we read, too large for Limits, truncated, or corrupt. BMPs that stb_image
// refuses are read as torvel reads them. 16-bit samples keep their top 8
// bits; pixels without alpha are opaque.
RgbaImage decodeImage(ByteSource &Source, const DecodeLimits &Limits,
                      std::string &Reason);

} // namespace torvel

#endif

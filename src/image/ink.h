// Which pixels of the placed image turn to ink, by threshold or dithering,
// and the picture's rows packed as the dump holds them. All in integers, so
// that every platform gives the same bits.
#ifndef TORVEL_IMAGE_INK_H
#define TORVEL_IMAGE_INK_H

#include "image/fit.h"
#include "image/options.h"

#include <cstdint>
#include <vector>

namespace torvel {

// The rows of a Width x Height picture (bytesPerRow(Width) bytes each, top
// row first; ink a 1 bit, the leftmost pixel in bit 7, the bits past the
// width set) with Placed's pixels inked as Options say. The paper around the
// placed image stays paper, and no dithering error passes into it.
//
// --invert turns level L into 255 - L and threshold N into 256 - N; then a
// pixel is ink where its level (plus the error carried to it) is below the
// threshold. Bayer ink: 128 * (L - N + 128) < (2 * M + 1) * 255 with M from
// the 8 x 8 matrix at the pixel's place in the placed image. Floyd-Steinberg
// carries 7/16, 3/16, 5/16 and 1/16 of the error (the last share taking what
// the rounded-down others leave), Atkinson 1/8 (rounded toward zero) to each
// of six neighbours; both go in raster order and reach levels 0 and 255.
std::vector<std::uint8_t> inkRows(const Placement &Placed, std::int32_t Width,
                                  std::int32_t Height,
                                  const ImportOptions &Options);

} // namespace torvel

#endif

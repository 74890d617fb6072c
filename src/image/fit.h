// Fitting a grey image to the firmware picture's size: where it lands and at
// what scale. Resampling averages on an axis that shrinks (stb_image_resize's
// box filter) and interpolates on one that grows (its triangle filter).
#ifndef TORVEL_IMAGE_FIT_H
#define TORVEL_IMAGE_FIT_H

#include "image/image.h"
#include "image/options.h"

#include <cstdint>
#include <optional>

namespace torvel {

// The image as it lands in the picture: its pixels at their final size and
// their top-left corner there. The rest of the picture is paper.
struct Placement {
  GreyImage Image;
  std::int32_t Left = 0;
  std::int32_t Top = 0;
};

// Fits Source (at least 1 x 1) to a Width x Height picture (both above 0):
// contain scales it to fit inside, proportions kept, the scaled size rounded
// and at least 1, and centres it (the offsets rounded down); cover scales it
// to fill and keeps the centred window of the picture's proportions; stretch
// scales it to exactly that size; none keeps its top-left corner unscaled.
// Where the scale is 1 the image is cut, not resampled. Nothing when the
// resampler cannot have its working memory.
std::optional<Placement> fitImage(const GreyImage &Source, std::int32_t Width,
                                  std::int32_t Height, Fit Mode);

} // namespace torvel

#endif

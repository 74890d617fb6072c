// How an image becomes a 1-bit picture: where it lands, and which pixels
// turn to ink.
#ifndef TORVEL_IMAGE_OPTIONS_H
#define TORVEL_IMAGE_OPTIONS_H

namespace torvel {

enum class Fit {
  Contain, // scaled to fit inside, proportions kept, centred
  Cover,   // scaled to fill, proportions kept, centred, cut at the sides
  Stretch, // scaled to exactly the picture's size
  None,    // not scaled: top-left corner, cut or extended with paper
};

enum class Dither { None, FloydSteinberg, Atkinson, Bayer };

struct ImportOptions {
  Fit Fitting = Fit::Contain;
  // Ink where the grey level is below this (0 to 256).
  int Threshold = 128;
  Dither Dithering = Dither::None;
  // Light pixels become ink instead: ink where the level is at least the
  // threshold.
  bool Invert = false;
  // Transparent pixels are put over black instead of white.
  bool BlackBackground = false;
};

} // namespace torvel

#endif

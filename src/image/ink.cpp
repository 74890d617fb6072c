#include "image/ink.h"

#include "picture/vkp.h"

#include <algorithm>
#include <array>

namespace torvel {

namespace {

constexpr std::array<std::array<std::int32_t, 8>, 8> BayerMatrix = {{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

// The placed image's levels and threshold with --invert applied, and its
// ink, one flag a pixel.
struct Inking {
  const GreyImage &Image;
  std::int32_t Threshold;
  bool Invert;
  std::vector<std::uint8_t> Ink;

  std::int32_t level(std::int32_t X, std::int32_t Y) const {
    const std::int32_t L = Image.at(X, Y);
    return Invert ? 255 - L : L;
  }
  void set(std::int32_t X, std::int32_t Y, bool IsInk) {
    Ink[std::size_t(Y) * std::size_t(Image.Width) + std::size_t(X)] = IsInk;
  }
};

void threshold(Inking &In) {
  for (std::int32_t Y = 0; Y < In.Image.Height; ++Y)
    for (std::int32_t X = 0; X < In.Image.Width; ++X)
      In.set(X, Y, In.level(X, Y) < In.Threshold);
}

void bayer(Inking &In) {
  for (std::int32_t Y = 0; Y < In.Image.Height; ++Y)
    for (std::int32_t X = 0; X < In.Image.Width; ++X) {
      const std::int32_t M = BayerMatrix[std::size_t(Y % 8)][std::size_t(X % 8)];
      In.set(X, Y, 128 * (In.level(X, Y) - In.Threshold + 128) < (2 * M + 1) * 255);
    }
}

// Error diffusion over rows of errors still to come; Share(Error, Rows, X)
// spreads one pixel's error, row 0 being the current one. Each row has
// Pad cells before pixel 0 and after the last, where shares off the image
// fall and are lost.
template <std::size_t Ahead, typename ShareFn>
void diffuse(Inking &In, ShareFn Share) {
  constexpr std::size_t Pad = 2;
  const std::size_t Width = std::size_t(In.Image.Width);
  std::array<std::vector<std::int32_t>, Ahead + 1> Rows;
  for (std::vector<std::int32_t> &Row : Rows)
    Row.assign(Width + 2 * Pad, 0);
  for (std::int32_t Y = 0; Y < In.Image.Height; ++Y) {
    for (std::int32_t X = 0; X < In.Image.Width; ++X) {
      const std::size_t At = std::size_t(X) + Pad;
      const std::int32_t Value = In.level(X, Y) + Rows[0][At];
      const bool IsInk = Value < In.Threshold;
      In.set(X, Y, IsInk);
      Share(Value - (IsInk ? 0 : 255), Rows, At);
    }
    std::rotate(Rows.begin(), Rows.begin() + 1, Rows.end());
    std::fill(Rows[Ahead].begin(), Rows[Ahead].end(), 0);
  }
}

void floydSteinberg(Inking &In) {
  diffuse<1>(In, [](std::int32_t E, auto &Rows, std::size_t X) {
    const std::int32_t Right = (E * 7) >> 4;
    const std::int32_t DownLeft = (E * 3) >> 4;
    const std::int32_t Down = (E * 5) >> 4;
    Rows[0][X + 1] += Right;
    Rows[1][X - 1] += DownLeft;
    Rows[1][X] += Down;
    Rows[1][X + 1] += E - Right - DownLeft - Down;
  });
}

void atkinson(Inking &In) {
  diffuse<2>(In, [](std::int32_t E, auto &Rows, std::size_t X) {
    const std::int32_t Eighth = E / 8;
    Rows[0][X + 1] += Eighth;
    Rows[0][X + 2] += Eighth;
    Rows[1][X - 1] += Eighth;
    Rows[1][X] += Eighth;
    Rows[1][X + 1] += Eighth;
    Rows[2][X] += Eighth;
  });
}

} // namespace

std::vector<std::uint8_t> inkRows(const Placement &Placed, std::int32_t Width,
                                  std::int32_t Height,
                                  const ImportOptions &Options) {
  const GreyImage &Image = Placed.Image;
  Inking In{Image,
            Options.Invert ? 256 - Options.Threshold : Options.Threshold,
            Options.Invert,
            std::vector<std::uint8_t>(std::size_t(Image.Width) *
                                      std::size_t(Image.Height))};
  switch (Options.Dithering) {
  case Dither::None:
    threshold(In);
    break;
  case Dither::FloydSteinberg:
    floydSteinberg(In);
    break;
  case Dither::Atkinson:
    atkinson(In);
    break;
  case Dither::Bayer:
    bayer(In);
    break;
  }

  const std::size_t RowBytes = bytesPerRow(Width);
  std::vector<std::uint8_t> Rows(RowBytes * std::size_t(Height), 0);
  // Bits past the width are set, as in the dump.
  if (Width % 8 != 0)
    for (std::int32_t Y = 0; Y < Height; ++Y)
      Rows[(std::size_t(Y) + 1) * RowBytes - 1] =
          static_cast<std::uint8_t>(0xFF >> (Width % 8));
  for (std::int32_t Y = 0; Y < Image.Height; ++Y)
    for (std::int32_t X = 0; X < Image.Width; ++X)
      if (In.Ink[std::size_t(Y) * std::size_t(Image.Width) + std::size_t(X)]) {
        const std::size_t PX = std::size_t(Placed.Left + X);
        Rows[std::size_t(Placed.Top + Y) * RowBytes + PX / 8] |=
            static_cast<std::uint8_t>(0x80u >> (PX % 8));
      }
  return Rows;
}

} // namespace torvel

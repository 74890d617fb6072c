#include "image/fit.h"

#include <stb_image_resize.h>

#include <algorithm>

namespace torvel {

namespace {

// Source's Width x Height pixels from (Left, Top) on.
GreyImage cut(const GreyImage &Source, std::int32_t Left, std::int32_t Top,
              std::int32_t Width, std::int32_t Height) {
  GreyImage Out{Width, Height, {}};
  Out.Levels.reserve(std::size_t(Width) * std::size_t(Height));
  for (std::int32_t Y = Top; Y < Top + Height; ++Y) {
    const auto Row = Source.Levels.begin() +
                     static_cast<std::ptrdiff_t>(std::size_t(Y) * std::size_t(Source.Width) +
                                                 std::size_t(Left));
    Out.Levels.insert(Out.Levels.end(), Row, Row + Width);
  }
  return Out;
}

stbir_filter filterFor(float Scale) {
  // The triangle filter trips stb's own checks on slight shrinks; the box
  // filter never does, and averages as a shrink should.
  return Scale > 1 ? STBIR_FILTER_TRIANGLE : STBIR_FILTER_BOX;
}

// Source scaled by ScaleX and ScaleY into Width x Height pixels, the output
// shifted left and up by ShiftX and ShiftY of its own pixels.
std::optional<GreyImage> resample(const GreyImage &Source, std::int32_t Width,
                                  std::int32_t Height, double ScaleX,
                                  double ScaleY, double ShiftX, double ShiftY) {
  GreyImage Out{Width, Height,
                std::vector<std::uint8_t>(std::size_t(Width) * std::size_t(Height))};
  const auto Sx = static_cast<float>(ScaleX);
  const auto Sy = static_cast<float>(ScaleY);
  if (!stbir_resize_subpixel(
          Source.Levels.data(), Source.Width, Source.Height, 0,
          Out.Levels.data(), Width, Height, 0, STBIR_TYPE_UINT8, 1,
          STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP,
          filterFor(Sx), filterFor(Sy), STBIR_COLORSPACE_LINEAR, nullptr, Sx,
          Sy, static_cast<float>(ShiftX), static_cast<float>(ShiftY)))
    return std::nullopt;
  return Out;
}

std::optional<GreyImage> scaled(const GreyImage &Source, std::int32_t Width,
                                std::int32_t Height) {
  if (Width == Source.Width && Height == Source.Height)
    return Source;
  return resample(Source, Width, Height, double(Width) / Source.Width,
                  double(Height) / Source.Height, 0, 0);
}

std::optional<Placement> contain(const GreyImage &Source, std::int64_t W,
                                 std::int64_t H) {
  const std::int64_t SW = Source.Width;
  const std::int64_t SH = Source.Height;
  std::int64_t Width = W;
  std::int64_t Height = H;
  if (SW * H >= W * SH)
    Height = std::clamp<std::int64_t>((2 * SH * W + SW) / (2 * SW), 1, H);
  else
    Width = std::clamp<std::int64_t>((2 * SW * H + SH) / (2 * SH), 1, W);
  std::optional<GreyImage> Image = scaled(Source, std::int32_t(Width), std::int32_t(Height));
  if (!Image)
    return std::nullopt;
  return Placement{std::move(*Image), std::int32_t((W - Width) / 2),
                   std::int32_t((H - Height) / 2)};
}

std::optional<GreyImage> cover(const GreyImage &Source, std::int64_t W,
                               std::int64_t H) {
  const std::int64_t SW = Source.Width;
  const std::int64_t SH = Source.Height;
  // The side that is relatively shorter fills the picture; the other is cut
  // evenly on both ends.
  const bool Wider = SW * H > W * SH;
  const std::int64_t Filled = Wider ? SH : SW;
  const std::int64_t Target = Wider ? H : W;
  if (Filled == Target)
    return Wider ? cut(Source, std::int32_t((SW - W) / 2), 0, std::int32_t(W), std::int32_t(H))
                 : cut(Source, 0, std::int32_t((SH - H) / 2), std::int32_t(W), std::int32_t(H));
  const double Scale = double(Target) / double(Filled);
  const double Shift = double(Wider ? SW * H - W * SH : SH * W - H * SW) /
                       double(2 * Filled);
  return resample(Source, std::int32_t(W), std::int32_t(H), Scale, Scale,
                  Wider ? Shift : 0, Wider ? 0 : Shift);
}

} // namespace

std::optional<Placement> fitImage(const GreyImage &Source, std::int32_t Width,
                                  std::int32_t Height, Fit Mode) {
  switch (Mode) {
  case Fit::Contain:
    return contain(Source, Width, Height);
  case Fit::Cover:
    if (std::optional<GreyImage> Image = cover(Source, Width, Height))
      return Placement{std::move(*Image), 0, 0};
    return std::nullopt;
  case Fit::Stretch:
    if (std::optional<GreyImage> Image = scaled(Source, Width, Height))
      return Placement{std::move(*Image), 0, 0};
    return std::nullopt;
  case Fit::None:
    break;
  }
  return Placement{cut(Source, 0, 0, std::min(Width, Source.Width),
                       std::min(Height, Source.Height)),
                   0, 0};
}

} // namespace torvel

// Pictures in memory as the import pipeline passes them on: decoded colour
// with alpha, then grey levels.
#ifndef TORVEL_IMAGE_IMAGE_H
#define TORVEL_IMAGE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace torvel {

// Red, green, blue and alpha, 8 bits each, rows top first without padding.
// Move-only; the pixels come from stbAllocate.
class RgbaImage {
public:
  RgbaImage() = default;
  // Takes over Pixels (Width x Height x 4 bytes from stbAllocate).
  RgbaImage(std::int32_t Width, std::int32_t Height, std::uint8_t *Pixels)
      : W(Width), H(Height), Data(Pixels) {}

  // A new image of unset pixels; an empty one when no memory is had.
  static RgbaImage allocate(std::int32_t Width, std::int32_t Height);

  bool empty() const { return !Data; }
  std::int32_t width() const { return W; }
  std::int32_t height() const { return H; }
  std::size_t byteSize() const {
    return std::size_t(W) * std::size_t(H) * 4;
  }
  std::span<std::uint8_t> pixels() { return {Data.get(), byteSize()}; }
  std::span<const std::uint8_t> pixels() const {
    return {Data.get(), byteSize()};
  }

private:
  struct Release {
    void operator()(std::uint8_t *Pixels) const;
  };
  std::int32_t W = 0;
  std::int32_t H = 0;
  std::unique_ptr<std::uint8_t, Release> Data;
};

// One grey level a pixel, 0 black to 255 white, rows top first.
struct GreyImage {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::vector<std::uint8_t> Levels;

  std::uint8_t at(std::int32_t X, std::int32_t Y) const {
    return Levels[std::size_t(Y) * std::size_t(Width) + std::size_t(X)];
  }
};

} // namespace torvel

#endif

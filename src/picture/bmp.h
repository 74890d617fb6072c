// TBitmap: a BMP picture, cut or extended to the firmware picture's size,
// giving the colour of each pixel.
#ifndef TORVEL_PICTURE_BMP_H
#define TORVEL_PICTURE_BMP_H

#include <cstdint>
#include <string>
#include <vector>

namespace torvel {

// Colour values: red in bits 0-7, green 8-15, blue 16-23; 0 is black.
inline constexpr std::uint32_t ColourWhite = 0x00FFFFFF;

class TBitmap {
public:
  // Loads the picture in file Name. Only the top-left KeepWidth x KeepHeight
  // pixels are ever held, so the caller must not read beyond them before
  // cutting the picture to at most that size. On failure returns false with
  // the reason ("Cannot open file <Name>", "Stream read error", "Bitmap image
  // is not valid") and the picture is unusable.
  bool loadFromFile(const std::string &Name, std::int32_t KeepWidth,
                    std::int32_t KeepHeight, std::string &Reason);

  // Cut or extend at the top-left corner; W and H are not negative.
  void setWidth(std::int32_t W);
  void setHeight(std::int32_t H);

  std::int32_t width() const { return Width; }
  std::int32_t height() const { return Height; }

  // The colour at (X, Y), counted from the top-left as displayed;
  // 0 <= X < width(), 0 <= Y < height().
  std::uint32_t pixel(std::int32_t X, std::int32_t Y) const;

private:
  // Implementation details are the loader's own.
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

} // namespace torvel

#endif

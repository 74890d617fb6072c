// TBitmap: a BMP picture, cut or extended to the firmware picture's size,
// giving the colour of each pixel.
#ifndef TORVEL_PICTURE_BMP_H
#define TORVEL_PICTURE_BMP_H

#include "base/byte_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

// Colour values: red in bits 0-7, green 8-15, blue 16-23; 0 is black.
inline constexpr std::uint32_t ColourWhite = 0x00FFFFFF;

// Pixels are decoded as the BMP format defines them, with these choices where
// it leaves room: an index beyond the colour table reads black, pixels that
// run-length codes leave unset read as colour-table entry 0, and bit-field
// components wider than 8 bits keep their top 8 bits but never turn a
// non-zero component into 0. Pixel data that the file or the image size
// field cut short read as zero bytes.
class TBitmap {
public:
  // Loads the picture in file Name. Only the top-left KeepWidth x KeepHeight
  // pixels are ever held, so the caller must not read beyond them before
  // cutting the picture to at most that size. On failure returns false with
  // the reason ("Cannot open file <Name>", "Stream read error", "Bitmap image
  // is not valid") and the picture is unusable. A zero-length file loads as
  // the empty picture.
  bool loadFromFile(const std::string &Name, std::int32_t KeepWidth,
                    std::int32_t KeepHeight, std::string &Reason);

  // The same, from bytes already open; only the reasons after the open.
  bool load(ByteSource &Source, std::int32_t KeepWidth,
            std::int32_t KeepHeight, std::string &Reason);

  // Cut or extend at the top-left corner; W and H are not negative. New
  // pixels take the fill: white, except in 1-, 4- and 8-bit uncompressed
  // pictures, where they take the colour of the highest index (1, 15, 255).
  void setWidth(std::int32_t W);
  void setHeight(std::int32_t H);

  std::int32_t width() const { return Width; }
  std::int32_t height() const { return Height; }

  // The colour at (X, Y), counted from the top-left as displayed;
  // 0 <= X < width(), 0 <= Y < height().
  std::uint32_t pixel(std::int32_t X, std::int32_t Y) const;

private:
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // The file's pixels still shown, top-left first, RegionPitch per row.
  std::vector<std::uint32_t> Region;
  std::int32_t RegionPitch = 0;
  std::int32_t RegionWidth = 0;
  std::int32_t RegionHeight = 0;
  // What every pixel outside the region reads.
  std::uint32_t Fill = ColourWhite;

  void dropPixels();
};

// The width and height (without its sign) in the headers of a BMP that
// TBitmap reads; nothing when the headers are not such a BMP's.
struct BmpSize {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
};
std::optional<BmpSize> readBmpSize(ByteSource &Source);

} // namespace torvel

#endif

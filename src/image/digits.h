// The sheet's digit font: 3 x 5 cells, drawn at twice that size.
#ifndef TORVEL_IMAGE_DIGITS_H
#define TORVEL_IMAGE_DIGITS_H

#include <array>
#include <cstdint>

namespace torvel {

inline constexpr int DigitColumns = 3;
inline constexpr int DigitRows = 5;

// The rows of Digit (0 to 9), top first, bit 2 the leftmost column.
inline constexpr std::array<std::uint8_t, DigitRows> digitGlyph(int Digit) {
  constexpr std::array<std::array<std::uint8_t, DigitRows>, 10> Glyphs = {{
      {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
      {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
      {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
  }};
  return Glyphs[std::size_t(Digit)];
}

} // namespace torvel

#endif

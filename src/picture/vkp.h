// Patch text: a picture packed at one bit per pixel into VKP lines, each
// "OFFSET: BYTES ;DRAWING", the leftmost pixel in bit 7 and ink a 1 bit.
#ifndef TORVEL_PICTURE_VKP_H
#define TORVEL_PICTURE_VKP_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace torvel {

class TBitmap;

// Bytes that one row of a Width-pixel picture takes (Width not negative).
std::uint32_t bytesPerRow(std::int32_t Width);

// The patch's first line, "; Picture #<Index>", without its line end.
std::string patchHeader(std::int32_t Index);

// Row Y of Picture packed: ink (colour 0) is a 1 bit, bits beyond the width
// are set.
std::vector<std::uint8_t> packRowBytes(const TBitmap &Picture, std::int32_t Y);

// Every row of Picture packed so, top row first, one after another.
std::vector<std::uint8_t> packRows(const TBitmap &Picture);

// The drawing of the first Width pixels of a packed row: "XX" for each set
// bit, ".." for each clear one.
std::string drawRow(std::span<const std::uint8_t> Row, std::int32_t Width);

// One patch line, without its line end: Offset, the bytes in hexadecimal,
// " ;" and the drawing of the first Width pixels.
std::string rowLine(std::uint32_t Offset, std::span<const std::uint8_t> Row,
                    std::int32_t Width);

// The patch line of row Y of Picture at Offset.
std::string packRow(const TBitmap &Picture, std::int32_t Y,
                    std::uint32_t Offset);

// The patch that writes back a picture's rows as the dump holds them: the
// header of picture Index, then one CR LF line per row, the first at Offset.
// Rows holds Height rows of bytesPerRow(Width) bytes, top row first.
std::string restorePatchText(std::int32_t Index, std::uint32_t Offset,
                             std::span<const std::uint8_t> Rows,
                             std::int32_t Width, std::int32_t Height);

} // namespace torvel

#endif

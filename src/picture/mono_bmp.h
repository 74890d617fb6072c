// Writing a packed picture as a 1-bit BMP that every editor opens.
#ifndef TORVEL_PICTURE_MONO_BMP_H
#define TORVEL_PICTURE_MONO_BMP_H

#include <cstdint>
#include <span>
#include <string>

namespace torvel {

// The BMP file of a Width x Height picture (both above 0) from its packed
// rows, top row first, bytesPerRow(Width) bytes each, ink a 1 bit. Colour 0
// is black, colour 1 white; ink is black. Rows are stored bottom-up.
std::string monochromeBmp(std::span<const std::uint8_t> Rows,
                          std::int32_t Width, std::int32_t Height);

} // namespace torvel

#endif

// The firmware's picture table: 8-byte entries from PictureTableOffset on.
#ifndef TORVEL_FLASH_PICTURE_TABLE_H
#define TORVEL_FLASH_PICTURE_TABLE_H

#include "base/platform.h"

#include <cstdint>
#include <optional>

namespace torvel {

inline constexpr std::int32_t PictureTableOffset = 0xDDF30;

struct PictureEntry {
  std::int32_t Width = 0;   // 0..255
  std::int32_t Height = 0;  // 0..255
  std::int32_t Address = 0; // phone address, 0..0x3FFFFFFF
};

// Reads entry Index (not negative) of the table in Flash. Nothing when the
// entry's position wraps negative or the file ends before its 8 bytes.
std::optional<PictureEntry> readPictureEntry(File &Flash, std::int32_t Index);

} // namespace torvel

#endif

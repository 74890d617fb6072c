// The firmware's picture table: 8-byte entries from PictureTableOffset on.
#ifndef TORVEL_FLASH_PICTURE_TABLE_H
#define TORVEL_FLASH_PICTURE_TABLE_H

#include "base/byte_source.h"
#include "flash/block_map.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace torvel {

inline constexpr std::int32_t PictureTableOffset = 0xDDF30;
// Entries past this one lie beyond a signed 32-bit file position.
inline constexpr std::int32_t MaxPictureIndex =
    (INT32_MAX - PictureTableOffset) / 8;

struct PictureEntry {
  std::int32_t Width = 0;   // 0..255
  std::int32_t Height = 0;  // 0..255
  std::int32_t Address = 0; // phone address, 0..0x3FFFFFFF
};

using EntryBytes = std::array<std::uint8_t, 8>;

// Where a picture's rows lie in the dump.
struct PicturePlace {
  PictureEntry Entry;
  std::int32_t Offset = -1; // -1: no block maps the address
  std::uint32_t Size = 0;   // bytes of all its rows
  // Mapped, and its rows end inside the dump and below 4 GiB.
  bool InDump = false;
};

// Width, height, two unused bytes, then the address and page words.
PictureEntry decodeEntry(const EntryBytes &Bytes);

// The table holds no length: an entry of all 00 or all FF bytes ends it.
bool isTableEnd(const EntryBytes &Bytes);

// Where Entry's rows lie in a dump of DumpSize bytes under Map.
PicturePlace placePicture(const PictureEntry &Entry, const BlockMap &Map,
                          std::uint64_t DumpSize);

// Reads entry Index (not negative) of the table in Flash. Nothing when the
// entry's position wraps negative or the file ends before its 8 bytes.
std::optional<PictureEntry> readPictureEntry(ByteSource &Flash,
                                             std::int32_t Index);

// Reads the table's entries one after another, in large pieces.
class EntryCursor {
public:
  EntryCursor(ByteSource &Flash, std::int32_t First);

  // Index of the entry that next() gives.
  std::int64_t index() const { return Index; }

  // The next entry; nothing when the dump does not hold it whole or its
  // index is past MaxPictureIndex.
  std::optional<EntryBytes> next();

private:
  ByteSource &Flash;
  std::int64_t Index;
  std::vector<std::uint8_t> Buffer;
  std::size_t Pos = 0;
  std::size_t Got = 0;
};

// The Size bytes of Flash at Offset; nothing when the file does not hold
// them all.
std::optional<std::vector<std::uint8_t>>
readFlashBytes(ByteSource &Flash, std::uint64_t Offset, std::size_t Size);

} // namespace torvel

#endif

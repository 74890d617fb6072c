// Where ranges of phone addresses lie in the fullflash file, as the
// configuration file's Block1, Block2, ... sections describe them.
#ifndef TORVEL_FLASH_BLOCK_MAP_H
#define TORVEL_FLASH_BLOCK_MAP_H

#include "base/byte_source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

struct tffblock {
  std::int32_t Addr = 0;
  std::int32_t FFOffset = 0;
  std::int32_t Length = 0;
};

using tffblocks = std::vector<tffblock>;
using BlockMap = tffblocks;

// Reads Block1, Block2, ... up to the first missing section from the
// configuration file at Path (made absolute against the current folder).
// Nothing when the file cannot be opened or is not a readable regular file.
std::optional<BlockMap> readBlockMap(const std::string &Path);

// The same from the text of a configuration file already in hand; nothing
// when it holds more than the reader keeps.
std::optional<BlockMap> readBlockMap(ByteSource &Text);

// The fullflash offset of phone address Address: the first entry with
// Addr <= Address < Addr + Length (signed, the end wrapping) gives
// Address - Addr + FFOffset. -1 when no entry holds it.
std::int32_t translateAddress(const BlockMap &Map, std::int32_t Address);

} // namespace torvel

#endif

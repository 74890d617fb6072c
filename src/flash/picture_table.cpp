#include "flash/picture_table.h"

#include <array>

namespace torvel {

std::optional<PictureEntry> readPictureEntry(File &Flash, std::int32_t Index) {
  // File positions are signed 32-bit; a big index wraps past them.
  auto Position = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(PictureTableOffset) +
      8u * static_cast<std::uint32_t>(Index));
  if (Position < 0)
    return std::nullopt;
  std::array<std::uint8_t, 8> Bytes{};
  if (Flash.readAt(static_cast<std::uint64_t>(Position), Bytes) != Bytes.size())
    return std::nullopt;
  auto Word = static_cast<std::uint32_t>(Bytes[4] | Bytes[5] << 8);
  auto Page = static_cast<std::uint32_t>(Bytes[6] | Bytes[7] << 8);
  PictureEntry Entry;
  Entry.Width = Bytes[0];
  Entry.Height = Bytes[1];
  // Pages are 16 KB apart; OR keeps a word past 0x3FFF inside 0..0x3FFFFFFF.
  Entry.Address = static_cast<std::int32_t>(Page << 14 | Word);
  return Entry;
}

} // namespace torvel

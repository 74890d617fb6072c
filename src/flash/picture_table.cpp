#include "flash/picture_table.h"

#include <algorithm>

namespace torvel {

namespace {

constexpr std::size_t CursorChunk = 64 * 1024;

std::uint64_t entryPosition(std::int64_t Index) {
  return static_cast<std::uint64_t>(PictureTableOffset + 8 * Index);
}

} // namespace

PictureEntry decodeEntry(const EntryBytes &Bytes) {
  auto Word = static_cast<std::uint32_t>(Bytes[4] | Bytes[5] << 8);
  auto Page = static_cast<std::uint32_t>(Bytes[6] | Bytes[7] << 8);
  PictureEntry Entry;
  Entry.Width = Bytes[0];
  Entry.Height = Bytes[1];
  // Pages are 16 KB apart; OR keeps a word past 0x3FFF inside 0..0x3FFFFFFF.
  Entry.Address = static_cast<std::int32_t>(Page << 14 | Word);
  return Entry;
}

PicturePlace placePicture(const PictureEntry &Entry, const BlockMap &Map,
                          std::uint64_t DumpSize) {
  PicturePlace P;
  P.Entry = Entry;
  P.Offset = translateAddress(Map, Entry.Address);
  P.Size = (static_cast<std::uint32_t>(Entry.Width) + 7) / 8 *
           static_cast<std::uint32_t>(Entry.Height);
  // Rows past the 32-bit end would wrap in a patch; the dump cannot hold them.
  const std::uint64_t End =
      std::uint64_t(static_cast<std::uint32_t>(P.Offset)) + P.Size;
  P.InDump = P.Offset != -1 && End <= DumpSize && End <= 0x100000000u;
  return P;
}

bool isTableEnd(const EntryBytes &Bytes) {
  return std::all_of(Bytes.begin(), Bytes.end(),
                     [&](std::uint8_t B) { return B == Bytes[0]; }) &&
         (Bytes[0] == 0x00 || Bytes[0] == 0xFF);
}

std::optional<PictureEntry> readPictureEntry(ByteSource &Flash,
                                             std::int32_t Index) {
  // File positions are signed 32-bit; a big index wraps past them.
  auto Position = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(PictureTableOffset) +
      8u * static_cast<std::uint32_t>(Index));
  if (Position < 0)
    return std::nullopt;
  EntryBytes Bytes{};
  if (Flash.readAt(static_cast<std::uint64_t>(Position), Bytes) != Bytes.size())
    return std::nullopt;
  return decodeEntry(Bytes);
}

EntryCursor::EntryCursor(ByteSource &Dump, std::int32_t First)
    : Flash(Dump), Index(First), Buffer(CursorChunk) {}

std::optional<EntryBytes> EntryCursor::next() {
  if (Index < 0 || Index > MaxPictureIndex)
    return std::nullopt;
  if (Got - Pos < 8) {
    Pos = 0;
    Got = Flash.readAt(entryPosition(Index), Buffer);
    if (Got < 8)
      return std::nullopt;
  }
  EntryBytes Bytes;
  std::copy_n(Buffer.begin() + std::ptrdiff_t(Pos), 8, Bytes.begin());
  Pos += 8;
  ++Index;
  return Bytes;
}

std::optional<std::vector<std::uint8_t>>
readFlashBytes(ByteSource &Flash, std::uint64_t Offset, std::size_t Size) {
  if (Offset > Flash.size() || Size > Flash.size() - Offset)
    return std::nullopt;
  std::vector<std::uint8_t> Bytes(Size);
  if (Flash.readAt(Offset, Bytes) != Size)
    return std::nullopt;
  return Bytes;
}

} // namespace torvel

#include "patch/verified_patch.h"

#include "base/int_text.h"
#include "picture/vkp.h"

namespace torvel {

std::string verifiedPatchText(std::int32_t Index, const PictureEntry &Entry,
                              std::uint32_t Offset,
                              std::span<const std::uint8_t> OldRows,
                              std::span<const std::uint8_t> NewRows,
                              const std::string &DumpBaseName,
                              std::uint64_t DumpSize,
                              const Sha256Digest &DumpHash) {
  const std::uint32_t RowBytes = bytesPerRow(Entry.Width);
  const std::uint32_t Size = RowBytes * static_cast<std::uint32_t>(Entry.Height);
  std::string Name = DumpBaseName;
  for (char &C : Name)
    if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F)
      C = '?';
  std::string Text = patchHeader(Index) + "\r\n; " +
                     std::to_string(Entry.Width) + " x " +
                     std::to_string(Entry.Height) + " pixels at offset " +
                     hex8(Offset) + ", " + std::to_string(Size) +
                     (Size == 1 ? " byte" : " bytes") + "; each line: offset, old data, new data\r\n"
                     "; Dump " + Name + ": " + std::to_string(DumpSize) +
                     " bytes, SHA-256 " + lowerHex(DumpHash) + "\r\n";
  for (std::uint32_t Y = 0; Y < static_cast<std::uint32_t>(Entry.Height); ++Y) {
    const std::span<const std::uint8_t> New = NewRows.subspan(Y * RowBytes, RowBytes);
    Text += hex8(Offset + Y * RowBytes) + ": " +
            upperHex(OldRows.subspan(Y * RowBytes, RowBytes)) + " " +
            upperHex(New) + " ;" + drawRow(New, Entry.Width) + "\r\n";
  }
  return Text;
}

} // namespace torvel

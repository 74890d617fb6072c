#include "flash/picture_table.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <array>

namespace torvel {
namespace {

TEST(PictureTableRead, DecodesEntriesAndFailsOnNegativeOrShortPositions) {
  // Entries 0, 3 and 5; the first 8 bytes, where index 0x1FFE441A wraps to; the file ends
  // 7 bytes into entry 6. Indices 0x0FFE441A and 0x1FFE4419 wrap to negative positions.
  std::string Image(PictureTableOffset + 8 * 6 + 7, '\x11');
  Image.replace(0, 8, "\x07\x09\0\0\x10\0\0\0", 8);
  Image.replace(PictureTableOffset, 8, "\x20\x10\xAA\xBB\x34\x12\x02\x00", 8);
  Image.replace(PictureTableOffset + 8 * 3, 8, "\x01\x02\0\0\xFF\xFF\x01\x00", 8);
  Image.replace(PictureTableOffset + 8 * 5, 8, std::string(8, '\xFF'));
  test::ScratchDir Dir;
  test::writeFile(Dir / "full.bin", Image);
  std::optional<File> Flash = File::openForReading(Dir / "full.bin", File::Sharing::ReadWrite);
  using Fields = std::optional<std::array<std::int32_t, 3>>; // width, height, address
  const std::pair<std::int32_t, Fields> Rows[] = {
      {0, {{32, 16, 0x9234}}}, {3, {{1, 2, 0xFFFF}}}, {5, {{255, 255, 0x3FFFFFFF}}},
      {0x1FFE441A, {{7, 9, 0x10}}}, {0x0FFE441A, {}}, {0x1FFE4419, {}}, {6, {}}};
  for (const auto &[Index, Expected] : Rows) {
    SCOPED_TRACE(Index);
    const std::optional<PictureEntry> E = readPictureEntry(Flash.value(), Index);
    EXPECT_EQ(E ? Fields({E->Width, E->Height, E->Address}) : std::nullopt, Expected);
  }
}

} // namespace
} // namespace torvel

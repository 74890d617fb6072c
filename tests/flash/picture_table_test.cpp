#include "flash/picture_table.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

// A fullflash image with Count zeroed table entries.
std::string flashImage(std::size_t Count) {
  return std::string(PictureTableOffset + 8 * Count, '\0');
}

File openFlash(const test::ScratchDir &Dir, const std::string &Image) {
  test::writeFile(Dir / "full.bin", Image);
  std::optional<File> Flash =
      File::openForReading(Dir / "full.bin", File::Sharing::ReadWrite);
  EXPECT_TRUE(Flash);
  return Flash ? std::move(*Flash) : File();
}

TEST(PictureTableRead, DecodesEntries) {
  using namespace std::string_view_literals;
  struct Row {
    std::int32_t Index;
    std::string_view Bytes;
    std::int32_t Width, Height, Address;
  } Rows[] = {
      {0, "\x20\x10\xAA\xBB\x34\x12\x02\x00"sv, 32, 16, 0x9234},
      {5, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"sv, 255, 255, 0x3FFFFFFF},
      {3, "\x01\x02\x00\x00\xFF\xFF\x01\x00"sv, 1, 2, 0xFFFF},
      // 0xDDF30 + 8 * 0x1FFE441A wraps to 0: the file's first 8 bytes.
      {0x1FFE441A, "\x07\x09\x00\x00\x10\x00\x00\x00"sv, 7, 9, 0x10},
  };
  std::string Image = flashImage(6);
  for (const Row &R : Rows)
    Image.replace(std::uint32_t(PictureTableOffset) + 8u * std::uint32_t(R.Index),
                  8, R.Bytes);
  test::ScratchDir Dir;
  File Flash = openFlash(Dir, Image);
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Index);
    std::optional<PictureEntry> Entry = readPictureEntry(Flash, R.Index);
    ASSERT_TRUE(Entry);
    EXPECT_EQ(Entry->Width, R.Width);
    EXPECT_EQ(Entry->Height, R.Height);
    EXPECT_EQ(Entry->Address, R.Address);
  }
}

TEST(PictureTableRead, NegativePositionOrShortFileFails) {
  test::ScratchDir Dir;
  File Flash = openFlash(Dir, flashImage(2));
  EXPECT_TRUE(readPictureEntry(Flash, 1));
  // Positions 0x80000000, 0xFFFFFFF8, 0x80000000 again, and past the end.
  for (std::int32_t Index : {0x0FFE441A, 0x1FFE4419, 0x2FFE441A, 2}) {
    SCOPED_TRACE(Index);
    EXPECT_FALSE(readPictureEntry(Flash, Index));
  }
  File Short = openFlash(Dir, std::string(PictureTableOffset + 7, '\x11'));
  EXPECT_FALSE(readPictureEntry(Short, 0));
}

} // namespace
} // namespace torvel

#include "base/platform.h"
#include "flash/block_map.h"
#include "flash/ini_file.h"
#include "flash/picture_table.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <array>

namespace torvel {
namespace {

TEST(IniFileRead, AnswersAsTheProfileService) {
  const std::string Kept(2047, 'v');
  test::ScratchDir Dir;
  test::writeFile(Dir / "test.ini",
                  "\xEF\xBB\xBF[Block1]\r\nFFOffset = 16 \r\n  ; Addr=5\r\n\r\nlength=\t0x10\r\n"
                  "LENGTH=99\nNoEquals\n = 5\nQ1=\"quoted\"\nQ2='x'\nQ3=\"mixed'\nQ4=\"\nEmpty=\n"
                  "Cut=\"" + Kept + "\"\n[ block1 ]\nAddr=7\n[Empty]\n; K=1\n[Shadowed]\n"
                  "[Shadowed]\nK=2\n[Other] ; a note\nKey=a=b\nTail=end\r");
  const TIniFile Ini(Dir / "test.ini");
  // Each section with its keys in file order.
  std::string Text;
  for (const char *Section : {"BLOCK1", "Empty", "Shadowed", "other", "Missing"}) {
    Text += std::string("[") + Section + "]";
    for (const std::string &Key : Ini.readSection(Section))
      Text += " " + Key + "=" + Ini.readString(Section, Key, "?");
  }
  EXPECT_EQ(Text, "[BLOCK1] FFOffset=16 length=0x10 Q1=quoted Q2=x Q3=\"mixed' Q4=\" Empty= Cut=" +
                      Kept + "[Empty][Shadowed][other] Key=a=b Tail=end[Missing]");
  EXPECT_EQ(Ini.readString("block1", "LENGTH", "?"), "0x10");
  EXPECT_EQ(Ini.readString("Block1", "Addr", "?") + Ini.readString("Missing", "Key", "!"), "?!");
}

TEST(BlockMapRead, SectionsToEntriesAsRead) {
  const struct {
    const char *Ini;
    std::vector<std::array<std::int32_t, 3>> Expected; // Addr, FFOffset, Length
  } Rows[] = {
      {"[Block2]\nFFOffset=20\n[Block1]\nLength=10\n[Block4]\nAddr=4\n", {{0, 0, 10}, {0, 20, 0}}},
      {"[Block1]\nOther=5\n[Block2]\n[Block3]\nAddr=3\n", {{0, 0, 0}}},
      {"[Block01]\nAddr=1\n", {}},
      // Values through the defaulting conversion: invalid ones read 0.
      {"[Block1]\nAddr=$A0000000\nFFOffset= 0X10 \nLength=-16\n[Block2]\nAddr=1e3\n",
       {{-0x60000000, 16, -16}, {0, 0, 0}}},
  };
  test::ScratchDir Dir;
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Ini);
    test::writeFile(Dir / "MARLOW.INI", Row.Ini);
    const BlockMap Map = readBlockMap(Dir / "MARLOW.INI").value();
    std::vector<std::array<std::int32_t, 3>> Fields;
    for (const tffblock &B : Map)
      Fields.push_back({B.Addr, B.FFOffset, B.Length});
    EXPECT_EQ(Fields, Row.Expected);
  }
}

TEST(BlockMapTranslate, FirstEntryHoldingTheAddressWithEndsWrapping) {
  auto I32 = [](std::uint32_t V) { return static_cast<std::int32_t>(V); };
  // Empty entries, overlapping ones, ends past 2^31 and past zero, offsets that wrap.
  const BlockMap Map = {{0x1000, 0x200, 0}, {0x1000, 0x300, -5}, {0x1000, 0x200, 0x100},
                        {0x1080, 0x5000, 0x100}, {0x7FFFFF00, 0x100, 0x200},
                        {I32(0xFFFFFF00), 0x1000, 0x200}, {I32(0xA0000000), 0x30000, 0x100000},
                        {0x3000, -0x10, 0x10}, {0x2000, 0x7FFFFFF0, 0x100}};
  const std::uint32_t Rows[][2] = {
      {0x1000, 0x200}, {0x10FF, 0x2FF}, {0x1100, 0x5080}, {0x1180, 0xFFFFFFFF},
      {0xFFF, 0xFFFFFFFF}, {0x7FFFFF00, 0xFFFFFFFF}, {0xFFFFFF00, 0x1000}, {0xFFFFFFFF, 0x10FF},
      {0xFF, 0x11FF}, {0x100, 0xFFFFFFFF}, {0xA0000010, 0x30010}, {0xA00FFFFF, 0x12FFFF},
      {0xA0100000, 0xFFFFFFFF}, {0x300F, 0xFFFFFFFF}, {0x2020, 0x80000010}};
  for (const auto &[Address, Expected] : Rows) {
    SCOPED_TRACE(testing::Message() << std::hex << Address);
    EXPECT_EQ(translateAddress(Map, I32(Address)), I32(Expected));
  }
}

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

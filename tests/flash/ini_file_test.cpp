#include "flash/ini_file.h"

#include "test_util.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

TIniFile iniFrom(const test::ScratchDir &Dir, const std::string &Text) {
  test::writeFile(Dir / "test.ini", Text);
  return TIniFile(Dir / "test.ini");
}

TEST(IniFileRead, AnswersAsTheProfileService) {
  const std::string Kept(TIniFile::MaxValueLength, 'v');
  test::ScratchDir Dir;
  TIniFile Ini = iniFrom(
      Dir, "\xEF\xBB\xBF[Block1]\r\nFFOffset = 16 \r\n  ; Addr=5\r\n\r\n"
           "length=\t0x10\r\nLENGTH=99\nNoEquals\n = 5\nQ1=\"quoted\"\nQ2='x'\n"
           "Q3=\"mixed'\nQ4=\"\nEmpty=\nCut=\"" + Kept + "\"\n"
           "[ block1 ]\nAddr=7\n[Empty]\n; K=1\n[Shadowed]\n[Shadowed]\nK=2\n"
           "[Other] ; a note\nKey=a=b\nTail=end\r");
  struct Row {
    const char *Section, *Key;
    std::string Expected;
  } Rows[] = {
      {"Block1", "ffoffset", "16"}, {"BLOCK1", "Length", "0x10"},
      {"Block1", "Addr", "?"},      {"Block1", "Q1", "quoted"},
      {"Block1", "Q2", "x"},        {"Block1", "Q3", "\"mixed'"},
      {"Block1", "Q4", "\""},       {"Block1", "Empty", ""},
      {"Block1", "Cut", Kept},      {"Other", "Key", "a=b"},
      {"Other", "Tail", "end"},     {"Missing", "Key", "?"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(std::string(R.Section) + "/" + R.Key);
    EXPECT_EQ(Ini.readString(R.Section, R.Key, "?"), R.Expected);
  }
  EXPECT_EQ(Ini.readSection("block1"),
            (std::vector<std::string>{"FFOffset", "length", "Q1", "Q2", "Q3",
                                      "Q4", "Empty", "Cut"}));
  EXPECT_EQ(Ini.readInteger("Block1", "FFOffset", 7), 16);
  EXPECT_EQ(Ini.readInteger("Block1", "Q1", 7), 7);
  EXPECT_FALSE(Ini.sectionExists("Empty"));
  // The first of duplicate sections answers, even when it is empty.
  EXPECT_FALSE(Ini.sectionExists("Shadowed"));
  EXPECT_TRUE(Ini.sectionExists("OTHER"));
}

TEST(IniFileRead, LongLinesAndReadEdges) {
  // Lines around the 64 KiB read and line sizes.
  for (std::size_t Filler : {65530u, 65535u, 65536u, 65537u, 200000u}) {
    SCOPED_TRACE(Filler);
    test::ScratchDir Dir;
    TIniFile Ini = iniFrom(Dir, "[S]\n" + std::string(Filler, 'f') +
                                    "\nKey=1\r\nBig=" +
                                    std::string(Filler, 'b') + "\nLast=2");
    EXPECT_EQ(Ini.readString("S", "Key", ""), "1");
    EXPECT_EQ(Ini.readString("S", "Big", "").size(), TIniFile::MaxValueLength);
    EXPECT_EQ(Ini.readString("S", "Last", ""), "2");
  }
}

TEST(IniFileRead, OnlyReadableFilesWithinBudgetOpen) {
  const std::string Value(2000, 'v');
  std::string Flood = "[S]\n";
  for (std::size_t I = 0; I <= TIniFile::MaxKeptBytes / Value.size(); ++I)
    Flood += "Key" + std::to_string(I) + "=" + Value + "\n";
  test::ScratchDir Dir;
  EXPECT_TRUE(iniFrom(Dir, "").isOpen());
  EXPECT_FALSE(iniFrom(Dir, Flood).isOpen());
  EXPECT_FALSE(TIniFile(Dir / "missing.ini").isOpen());
  EXPECT_FALSE(TIniFile(Dir.path()).isOpen());
}

} // namespace
} // namespace torvel

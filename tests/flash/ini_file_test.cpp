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
  const std::string Kept(2047, 'v');
  test::ScratchDir Dir;
  const TIniFile Ini = iniFrom(
      Dir, "\xEF\xBB\xBF[Block1]\r\nFFOffset = 16 \r\n  ; Addr=5\r\n\r\nlength=\t0x10\r\n"
           "LENGTH=99\nNoEquals\n = 5\nQ1=\"quoted\"\nQ2='x'\nQ3=\"mixed'\nQ4=\"\nEmpty=\n"
           "Cut=\"" + Kept + "\"\n[ block1 ]\nAddr=7\n[Empty]\n; K=1\n[Shadowed]\n[Shadowed]\n"
           "K=2\n[Other] ; a note\nKey=a=b\nTail=end\r");
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

TEST(IniFileRead, LongLinesAcrossReads) {
  test::ScratchDir Dir;
  // Lines around the 64 KiB read and line sizes.
  for (std::size_t Filler : {65530u, 65535u, 65536u, 65537u, 200000u}) {
    SCOPED_TRACE(Filler);
    const TIniFile Ini = iniFrom(Dir, "[S]\n" + std::string(Filler, 'f') + "\nKey=1\r\nBig=" +
                                          std::string(Filler, 'b') + "\nLast=2");
    EXPECT_EQ(Ini.readString("S", "Key", "") + Ini.readString("S", "Last", ""), "12");
    EXPECT_EQ(Ini.readString("S", "Big", ""), std::string(2047, 'b'));
  }
  EXPECT_TRUE(iniFrom(Dir, "").isOpen());
}

} // namespace
} // namespace torvel

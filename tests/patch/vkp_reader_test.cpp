// The VKP reader's rules, one row per rule: the records a text reads as, or
// the first error with its line and column.
#include "patch/vkp_reader.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace torvel {
namespace {

std::string hex(std::span<const std::uint8_t> Bytes) {
  std::string Text;
  for (std::uint8_t B : Bytes) {
    char Digits[3];
    std::snprintf(Digits, sizeof Digits, "%02X", B);
    Text += Digits;
  }
  return Text;
}

// "LINE:OFFSET NEW[/OLD][ flags XX]; ..." or "LINE:COLUMN: message".
std::string readAs(std::string_view Text) {
  MemorySource Source(std::span(reinterpret_cast<const std::uint8_t *>(Text.data()),
                                Text.size()));
  const VkpReadResult Read = readVkp(Source);
  if (Read.Error)
    return formatVkpError("p", *Read.Error).substr(2);
  std::string Out;
  for (const PatchRecord &R : Read.Patch.Records) {
    char Head[64];
    std::snprintf(Head, sizeof Head, "%s%llu:%08X ", Out.empty() ? "" : "; ",
                  static_cast<unsigned long long>(R.Line), R.Offset);
    Out += Head + hex(Read.Patch.newData(R));
    if (R.has(HasOldData))
      Out.append("/").append(hex(Read.Patch.oldData(R)));
    if ((R.Flags & ~HasOldData) != 0x1E)
      Out += " flags " + std::to_string(R.Flags & ~HasOldData);
  }
  return Out;
}

TEST(VkpReader, EachRuleReadsAsStatedAndEachRefusalNamesItsPlace) {
  const std::string Long = "0: " + std::string(2 << 20, 'A') + "00";
  const std::pair<std::string, std::string> Rows[] = {
      {"", ""},
      {"00001000: AABB\n", "1:00001000 AABB"},
      {"0x1000: 0011 AaBb\r\n0X2000:cc", "1:00001000 AABB/0011; 2:00002000 CC"},
      {"\t\n  \r\n\t01000:\tAA\t \n\n", "3:00001000 AA"},
      // Comments of each kind, after a record too; inside // a /* means nothing.
      {"; c\n// c /* \n# c\n/* a\n\xFF */ 1000: AA /* x */ BB ;d\n2000: CC//d\n3000: DD#d",
       "5:00001000 BB/AA; 6:00002000 CC; 7:00003000 DD"},
      {"1000: AA/**/BB/* \n */\n2000: CC", "1:00001000 BB/AA; 3:00002000 CC"},
      {"1000: AA,BBCC,DD 00,112233", "1:00001000 00112233/AABBCCDD"},
      // Pragmas hold from their line on; old_equal_ff gives old data of FF bytes.
      {"#pragma disable undo\n1000: AA\n  #pragma\tenable  old_equal_ff ; c\n2000: BB\n"
       "#pragma disable warn_no_old_on_apply\n#pragma disable warn_if_new_exist_on_apply\n"
       "#pragma disable warn_if_old_exist_on_undo\n#pragma enable undo /* c */\n3000: CC\n"
       "#pragma disable old_equal_ff\n4000: DD",
       "2:00001000 AA flags 14; 4:00002000 BB/FF flags 14; 9:00003000 CC/FF flags 16; "
       "11:00004000 DD flags 16"},
      // A corrector replaces the one before; +0 ends it.
      {"+100\n1000: AA\n- 0x10 ; c\n1000: BB\n+0\n1000: CC\n-FFFFFFFF\nFFFFFFFF: DD",
       "2:00001100 AA; 4:00000FF0 BB; 6:00001000 CC; 8:00000000 DD"},
      {"FFFFFFFF: AA\n+1\nFFFFFFFE: BB", "1:FFFFFFFF AA; 3:FFFFFFFF BB"},
      {"1000: AA BBCC", "1:10: old data of 1 byte and new data of 2 bytes: they must be as long"},
      {"1000: AA BB CC", "1:13: a third data field (a record holds old data and new data at most)"},
      {"1000:  ; no data", "1:1: record without data"},
      {"1000 AA", "1:5: expected ':' directly after the address, found ' '"},
      {"1000", "1:5: expected ':' directly after the address, found the end of the file"},
      {"0x: AA", "1:3: address without hexadecimal digits after 0x"},
      {"000100000000: AA", "1:1: address above FFFFFFFF"},
      {"1000: \"ab\"", "1:7: a quoted string: not supported, write the bytes in hexadecimal"},
      {"1000: AA 'a'", "1:10: a quoted string: not supported, write the bytes in hexadecimal"},
      {"1000: 0x12", "1:7: a number in 0x form: not supported, write plain hexadecimal digits"},
      {"1000: AA,0N12", "1:10: a number in 0n form: not supported, write plain hexadecimal digits"},
      {"1000: 0i12", "1:7: a number in 0i form: not supported, write plain hexadecimal digits"},
      {"1000: XX", "1:7: a placeholder 'X' where a hex digit should be: not supported"},
      {"1000: AA A?", "1:11: a placeholder '?' where a hex digit should be: not supported"},
      {"1000: AA \\\n BB", "1:10: a '\\' line continuation: not supported"},
      {"1000: ABC", "1:7: an odd number of hex digits (two a byte)"},
      {"1000: AA,,BB", "1:10: an empty group of digits"},
      {"1000: AA, BB", "1:10: an empty group of digits"},
      {"1000: ,AA", "1:7: an empty group of digits"},
      {"1000: AAG", "1:9: unexpected 'G'"},
      {"\n/* x\n\n", "2:1: comment not closed"},
      {"  / x", "1:3: a '/' that starts no comment (// or /*)"},
      {"1000: AA\rBB", "1:9: a CR not followed by LF"},
      {"; c\r\n\r", "2:1: a CR not followed by LF"},
      {"zz", "1:1: unexpected 'z'"},
      {"\n\n \x80", "3:2: unexpected byte 0x80"},
      {std::string("1000: AA\0", 9), "1:9: unexpected byte 0x00"},
      {"\xEF\xBB\xBF" "1000: AA", "1:1: a UTF-8 byte order mark: save the patch as plain text"},
      {"#pragma enable Undo", "1:1: unknown pragma '#pragma enable Undo' (#pragma enable or disable "
       "old_equal_ff, warn_no_old_on_apply, warn_if_new_exist_on_apply, "
       "warn_if_old_exist_on_undo or undo)"},
      {"\n #pragma once", "2:2: unknown pragma '#pragma once' (#pragma enable or disable "
       "old_equal_ff, warn_no_old_on_apply, warn_if_new_exist_on_apply, "
       "warn_if_old_exist_on_undo or undo)"},
      {"#pragmaenable undo", "1:1: unknown pragma '#pragmaenable undo' (#pragma enable or disable "
       "old_equal_ff, warn_no_old_on_apply, warn_if_new_exist_on_apply, "
       "warn_if_old_exist_on_undo or undo)"},
      {"1000: AA #pragma enable undo", "1:10: #pragma must be the first thing on its line"},
      {"#pragma enable undo 1000: AA", "1:21: unexpected '1'"},
      {"-20\n10: AA", "2:1: address 00000010 with the corrector -00000020 lies below 0"},
      {"+10\nFFFFFFF0: 00112233445566778899AABBCCDDEEFF",
       "2:1: record of 16 bytes at FFFFFFF0 with the corrector +00000010 runs past FFFFFFFF"},
      {"FFFFFFFF: AABB", "1:1: record of 2 bytes at FFFFFFFF runs past FFFFFFFF"},
      {"+100000000", "1:1: corrector above FFFFFFFF"},
      {"+ ; c", "1:3: corrector without hexadecimal digits"},
      {"+10:", "1:4: unexpected ':'"},
      {Long, "1:4: data longer than 1 MiB (1048576 bytes)"},
  };
  for (const auto &[Text, Expected] : Rows) {
    SCOPED_TRACE(Text.substr(0, 80));
    EXPECT_EQ(readAs(Text), Expected);
  }
  // Exactly 1 MiB is a record.
  EXPECT_EQ(readAs(Long.substr(0, Long.size() - 2)).size(), 11 + (2u << 20));
}

} // namespace
} // namespace torvel

#include "base/int_text.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

TEST(IntText, ValidTexts) {
  const std::pair<const char *, std::int32_t> Rows[] = {
      {"16", 16},       {"+16", 16},      {"0x10", 16},      {"0X10", 16},       {"$10", 16},
      {"x10", 16},      {"X10", 16},      {"0016", 16},      {"   16", 16},      {"-16", -16},
      {"-0", 0},        {"1999", 1999},   {"$ffffffff", -1}, {"xA0000000", -1610612736},
      {"$00000000000010", 16},            {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
  };
  for (const auto &[Text, Expected] : Rows) {
    SCOPED_TRACE(Text);
    EXPECT_EQ(parseInt(Text), Expected);
  }
}

TEST(IntText, InvalidTexts) {
  for (const char *Text :
       {"-0x10", "-$10", "16 ", "1e3", "0x", "$", "x", "-", "+", "2147483648", "-2147483649",
        "$100000000", "\t16", "", "   ", "+-1", "0x-1", "1 6", "99999999999999999999",
        "$FFFFFFFFF0", "A0000000"}) {
    SCOPED_TRACE(Text);
    EXPECT_FALSE(parseInt(Text));
    EXPECT_EQ(strToIntDef(Text, 7), 7);
    EXPECT_THROW(strToInt(Text), EConvertError);
  }
}

} // namespace
} // namespace torvel

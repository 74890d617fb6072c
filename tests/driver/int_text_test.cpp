#include "driver/int_text.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

TEST(IntText, ValidTexts) {
  const struct {
    const char *Text;
    std::int32_t Expected;
  } Cases[] = {
      {"16", 16},          {"+16", 16},         {"0x10", 16},
      {"0X10", 16},        {"$10", 16},         {"x10", 16},
      {"X10", 16},         {"$0010", 16},       {"0016", 16},
      {"   16", 16},       {"-16", -16},        {"0", 0},
      {"-0", 0},           {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},                {"$FFFFFFFF", -1},
      {"$ffffffff", -1},   {"xA0000000", -1610612736},
      {"$00000000000010", 16},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Text);
    ASSERT_TRUE(parseInt(C.Text));
    EXPECT_EQ(*parseInt(C.Text), C.Expected);
  }
}

TEST(IntText, InvalidTexts) {
  for (const char *Text :
       {"-0x10", "-$10", "16 ", "1e3", "0x", "$", "x", "-", "+", "2147483648",
        "-2147483649", "$100000000", "\t16", "", "   ", "+-1", "0x-1", "1 6",
        "99999999999999999999", "$FFFFFFFFF0", "A0000000"}) {
    SCOPED_TRACE(Text);
    EXPECT_FALSE(parseInt(Text));
    EXPECT_EQ(strToIntDef(Text, 7), 7);
  }
}

TEST(IntText, StrictFailureCarriesTheText) {
  try {
    strToInt("abc");
    FAIL() << "no exception";
  } catch (const EConvertError &E) {
    EXPECT_STREQ(E.what(), "'abc' is not a valid integer value");
  }
}

} // namespace
} // namespace torvel

#include "picture/vkp.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

// Both front-ends write their restore patches through this one builder.
TEST(RestorePatch, HeaderThenOneLinePerRow) {
  const struct {
    std::int32_t Index, Width, Height;
    std::uint32_t Offset;
    std::vector<std::uint8_t> Rows;
    std::string Expected;
  } Cases[] = {
      // The bits past the width go out as the dump holds them.
      {7, 10, 2, 0x00113000, {0x80, 0x3F, 0xFF, 0xC1},
       "; Picture #7\r\n00113000: 803F ;XX..................\r\n"
       "00113002: FFC1 ;XXXXXXXXXXXXXXXXXXXX\r\n"},
      {2, 0, 2, 0x10, {}, "; Picture #2\r\n00000010:  ;\r\n00000010:  ;\r\n"},
      {0, 16, 0, 0, {}, "; Picture #0\r\n"},
  };
  for (const auto &C : Cases) {
    SCOPED_TRACE(C.Expected);
    EXPECT_EQ(restorePatchText(C.Index, C.Offset, C.Rows, C.Width, C.Height), C.Expected);
  }
}

} // namespace
} // namespace torvel

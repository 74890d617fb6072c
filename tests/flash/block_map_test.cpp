#include "flash/block_map.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <tuple>

namespace torvel {
namespace {

using Fields = std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t>>;

// Addr, FFOffset, Length of each entry, which gtest can compare and print.
Fields fields(const BlockMap &Map) {
  Fields Result;
  for (const tffblock &B : Map)
    Result.emplace_back(B.Addr, B.FFOffset, B.Length);
  return Result;
}

TEST(BlockMapRead, SectionsToEntries) {
  struct Row {
    const char *Ini;
    Fields Expected;
  } Rows[] = {
      {"[Block1]\nAddr=1\n[Block2]\nAddr=2\n[Block4]\nAddr=4\n",
       {{1, 0, 0}, {2, 0, 0}}},
      {"[Block2]\nFFOffset=20\n[Block1]\nLength=10\n", {{0, 0, 10}, {0, 20, 0}}},
      {"[Block1]\n[Block2]\nAddr=2\n", {}},
      {"[Block1]\nOther=5\n", {{0, 0, 0}}},
      {"[Block01]\nAddr=1\n", {}},
      {"", {}},
      {"[Block1]\nAddr=$A0000000\nFFOffset=x10\nLength=-16\n"
       "[Block2]\nAddr= 0X10 \nFFOffset=+16\nLength=$FFFFFFFF\n",
       {{-0x60000000, 16, -16}, {16, 16, -1}}},
      {"[Block1]\nAddr=-0x10\nFFOffset=1e3\nLength=2147483648\n"
       "[Block2]\nAddr=$100000000\nFFOffset=0x\nLength=-\n",
       {{0, 0, 0}, {0, 0, 0}}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Ini);
    test::ScratchDir Dir;
    test::writeFile(Dir / "MARLOW.INI", R.Ini);
    std::optional<BlockMap> Map = readBlockMap(Dir / "MARLOW.INI");
    ASSERT_TRUE(Map);
    EXPECT_EQ(fields(*Map), R.Expected);
  }
}

TEST(BlockMapRead, CannotOpen) {
  test::ScratchDir Dir;
  EXPECT_FALSE(readBlockMap(Dir / "missing.ini"));
  EXPECT_FALSE(readBlockMap(Dir.path()));
}

TEST(BlockMapTranslate, Addresses) {
  auto I32 = [](std::uint32_t V) { return static_cast<std::int32_t>(V); };
  const BlockMap Simple = {{0x1000, 0x200, 0x100}};
  const BlockMap Overlap = {{0x1000, 0x200, 0x100}, {0x1080, 0x5000, 0x100}};
  const BlockMap Empties = {{0x1000, 0x200, 0}, {0x1000, 0x300, -5}};
  const BlockMap WrappedEnd = {{0x7FFFFF00, 0x100, 0x200}};
  const BlockMap AcrossZero = {{I32(0xFFFFFF00), 0x1000, 0x200}};
  const BlockMap Negative = {{I32(0xA0000000), 0x30000, 0x100000}};
  const BlockMap Offsets = {{0x1000, -0x10, 0x10}, {0x2000, 0x7FFFFFF0, 0x100}};
  struct Row {
    const BlockMap &Map;
    std::uint32_t Address, Expected;
  } Rows[] = {
      {Simple, 0x1000, 0x200},          {Simple, 0x10FF, 0x2FF},
      {Simple, 0x1100, 0xFFFFFFFF},     {Simple, 0xFFF, 0xFFFFFFFF},
      {Overlap, 0x10A0, 0x2A0},         {Overlap, 0x1100, 0x5080},
      {Empties, 0x1000, 0xFFFFFFFF},    {WrappedEnd, 0x7FFFFF00, 0xFFFFFFFF},
      {AcrossZero, 0xFFFFFF00, 0x1000}, {AcrossZero, 0xFFFFFFFF, 0x10FF},
      {AcrossZero, 0xFF, 0x11FF},       {AcrossZero, 0x100, 0xFFFFFFFF},
      {Negative, 0xA0000010, 0x30010},  {Negative, 0xA00FFFFF, 0x12FFFF},
      {Negative, 0xA0100000, 0xFFFFFFFF}, {Offsets, 0x100F, 0xFFFFFFFF},
      {Offsets, 0x2020, 0x80000010},    {{}, 0, 0xFFFFFFFF},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(testing::Message() << std::hex << R.Address);
    EXPECT_EQ(translateAddress(R.Map, I32(R.Address)), I32(R.Expected));
  }
}

} // namespace
} // namespace torvel

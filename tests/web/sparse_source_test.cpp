// The page's sparse view of the dump: reads within what it was given, a
// refusal remembered for anything else, and a check over the slices the
// page fetches that reports what a check over the whole dump reports.
#include "web/sparse_source.h"

#include "flash/block_map.h"
#include "flash/picture_table.h"
#include "patch/check.h"
#include "patch/report.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <numeric>

namespace torvel::test {
namespace {

std::vector<std::uint8_t> countFrom(std::uint8_t First, std::size_t N) {
  std::vector<std::uint8_t> Bytes(N);
  std::iota(Bytes.begin(), Bytes.end(), First);
  return Bytes;
}

TEST(SparseSource, ReadsRunsOfGivenBytesAndRemembersTheFirstRefusal) {
  SparseSource Source(100);
  // 10..29 in two overlapping pieces and 30..39 touching them; 50..59 apart.
  EXPECT_TRUE(Source.add(20, countFrom(20, 10)));
  EXPECT_TRUE(Source.add(10, countFrom(10, 15)));
  EXPECT_TRUE(Source.add(30, countFrom(30, 10)));
  EXPECT_TRUE(Source.add(50, countFrom(50, 10)));
  EXPECT_FALSE(Source.add(95, countFrom(95, 6)));
  const struct {
    std::uint64_t Offset;
    std::size_t Want;
    std::vector<std::uint8_t> Got;
  } Rows[] = {
      {10, 30, countFrom(10, 30)}, {12, 100, countFrom(12, 28)}, {39, 5, {39}},
      {55, 10, countFrom(55, 5)},  {100, 4, {}},                 {40, 4, {}},
      {5, 1, {}},
  };
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Offset);
    std::vector<std::uint8_t> Buffer(Row.Want);
    Buffer.resize(Source.readAt(Row.Offset, Buffer));
    EXPECT_EQ(Buffer, Row.Got);
  }
  EXPECT_EQ(Source.refused(), std::optional<std::uint64_t>(40));
}

TEST(SparseSource, CheckOverTheFetchedSlicesReportsAsOverTheWholeDump) {
  ScratchDir Dir;
  runProgram(TORVEL_MAKE_FLASH_EXE, {"full.bin"}, Dir.path());
  const std::string Text = readFile(Dir / "full.bin").value();
  const std::vector<std::uint8_t> Dump(Text.begin(), Text.end());
  const BlockMap Map = readBlockMap(TORVEL_EXAMPLES "/MARLOW.INI").value();
  // Picture 4, the table's entry 1, old data that differ, a collision, and
  // past the end.
  const std::string Patch = "00113000: FF00\n+10\n000DDF28: 0000000000\n"
                            "00113001: 12 34\n-0\n00113011: 77\n003FFFFF: 0102\n";
  MemorySource PatchText(
      std::span(reinterpret_cast<const std::uint8_t *>(Patch.data()), Patch.size()));
  VkpReadResult Read = readVkp(PatchText);
  const std::vector<PatchInput> Inputs = {{"p.vkp", std::move(Read.Patch), Read.Error}};
  MemorySource Whole(Dump);
  const std::string Expected =
      reportText(Inputs, checkPatches(Inputs, Whole, Map, PatchMode::Apply), "d", true);
  ASSERT_NE(Expected.find("p.vkp:4: problem"), std::string::npos) << Expected;

  auto sparse = [&](bool WithTable) {
    auto Source = std::make_unique<SparseSource>(Dump.size());
    const std::uint64_t TableEnd = PictureTableOffset + 8 * 8;
    std::vector<DumpRange> Ranges = neededRanges(Inputs, Dump.size());
    if (WithTable)
      Ranges.push_back({PictureTableOffset, TableEnd - PictureTableOffset});
    for (const DumpRange &R : Ranges)
      Source->add(R.Offset, {Dump.begin() + std::ptrdiff_t(R.Offset),
                             Dump.begin() + std::ptrdiff_t(R.Offset + R.Size)});
    return Source;
  };
  std::unique_ptr<SparseSource> Fetched = sparse(true);
  EXPECT_EQ(reportText(Inputs, checkPatches(Inputs, *Fetched, Map, PatchMode::Apply), "d", true),
            Expected);
  EXPECT_EQ(Fetched->refused(), std::nullopt);
  Fetched = sparse(false);
  checkPatches(Inputs, *Fetched, Map, PatchMode::Apply);
  EXPECT_TRUE(Fetched->refused().has_value());
}

} // namespace
} // namespace torvel::test

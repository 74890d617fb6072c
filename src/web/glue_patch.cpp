// Patches in the page: the verified patch of a picture, the hash of the
// whole dump it names, and the check of patches against the slices of the
// dump it needs, which the page reads first.
#include "base/byte_source.h"
#include "base/sha256.h"
#include "flash/picture_table.h"
#include "patch/apply.h"
#include "patch/check.h"
#include "patch/report.h"
#include "patch/verified_patch.h"
#include "picture/vkp.h"
#include "web/glue_values.h"

#include <emscripten/bind.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <string>

namespace torvel {
namespace {

using namespace web;

// Blob sizes and offsets stay below 2^53.
std::uint64_t wholeNumber(double Value) {
  return Value > 0 && Value < 0x1p53 ? static_cast<std::uint64_t>(Value) : 0;
}

class DumpHash {
public:
  void update(val Bytes) { Hash.update(bytesOf(Bytes)); }
  val finish() {
    const Sha256Digest Digest = Hash.finish();
    return arrayOf(Digest.data(), Digest.size());
  }

private:
  Sha256 Hash;
};

// The verified patch of picture Index (Width x Height at Address, its rows
// at Offset) from its old and new rows, for a dump of DumpSize bytes named
// DumpName whose SHA-256 is Digest; empty when the values do not fit.
val verifiedPatch(int Index, int Width, int Height, double Address,
                  double Offset, val OldRows, val NewRows,
                  std::string DumpName, double DumpSize, val Digest) {
  const std::vector<std::uint8_t> Old = bytesOf(OldRows);
  const std::vector<std::uint8_t> New = bytesOf(NewRows);
  const std::vector<std::uint8_t> Hash = bytesOf(Digest);
  const std::size_t Rows = bytesPerRow(Width) * std::size_t(std::max(Height, 0));
  if (Width <= 0 || Width > 255 || Height <= 0 || Height > 255 ||
      Old.size() != Rows || New.size() != Rows || Hash.size() != 32 ||
      !(Offset >= 0 && Offset < 0x1p32) || !(Address >= 0 && Address < 0x1p32))
    return bytesVal("");
  PictureEntry Entry;
  Entry.Width = Width;
  Entry.Height = Height;
  Entry.Address = static_cast<std::int32_t>(static_cast<std::uint32_t>(Address));
  Sha256Digest Sum;
  std::copy(Hash.begin(), Hash.end(), Sum.begin());
  return bytesVal(verifiedPatchText(Index, Entry, static_cast<std::uint32_t>(Offset),
                                    Old, New, DumpName, wholeNumber(DumpSize), Sum));
}

// The parts of a dump that the page has read, by offset; a read elsewhere
// gives nothing, as past the end of a file.
class SliceSource : public ByteSource {
public:
  explicit SliceSource(std::uint64_t Size) : Total(Size) {}

  // Keeps the slices apart: one that overlaps others joins them into one.
  void add(std::uint64_t Offset, std::vector<std::uint8_t> Bytes) {
    std::uint64_t End = Offset + Bytes.size();
    auto It = Slices.upper_bound(Offset);
    if (It != Slices.begin() && std::prev(It)->first + std::prev(It)->second.size() > Offset)
      --It;
    while (It != Slices.end() && It->first < End) {
      const std::uint64_t Start = std::min(Offset, It->first);
      const std::uint64_t Last = std::max(End, It->first + It->second.size());
      std::vector<std::uint8_t> Joined(static_cast<std::size_t>(Last - Start));
      std::copy(It->second.begin(), It->second.end(),
                Joined.begin() + std::ptrdiff_t(It->first - Start));
      std::copy(Bytes.begin(), Bytes.end(), Joined.begin() + std::ptrdiff_t(Offset - Start));
      Offset = Start;
      End = Last;
      Bytes = std::move(Joined);
      It = Slices.erase(It);
    }
    Slices[Offset] = std::move(Bytes);
  }

  std::uint64_t size() const override { return Total; }

  std::size_t readAt(std::uint64_t Offset,
                     std::span<std::uint8_t> Buffer) override {
    auto It = Slices.upper_bound(Offset);
    if (It == Slices.begin())
      return 0;
    --It;
    const std::uint64_t Into = Offset - It->first;
    if (Into >= It->second.size())
      return 0;
    const std::size_t N = static_cast<std::size_t>(
        std::min<std::uint64_t>(Buffer.size(), It->second.size() - Into));
    std::memcpy(Buffer.data(), It->second.data() + Into, N);
    return N;
  }

private:
  std::uint64_t Total;
  std::map<std::uint64_t, std::vector<std::uint8_t>> Slices;
};

class PatchCheck {
public:
  explicit PatchCheck(double DumpSize) : Dump(wholeNumber(DumpSize)) {}

  // Reads a patch; its read error, if any, stays with it for the report.
  void add(std::string Name, val Text) {
    const std::vector<std::uint8_t> Bytes = bytesOf(Text);
    MemorySource Source(Bytes);
    VkpReadResult Read = readVkp(Source);
    Inputs.push_back({std::move(Name), std::move(Read.Patch), std::move(Read.Error)});
  }

  // The slices of the dump the check reads besides its picture table, as
  // offset and size pairs.
  val ranges() const {
    std::vector<double> Pairs;
    for (const DumpRange &R : neededRanges(Inputs, Dump.size()))
      Pairs.insert(Pairs.end(), {double(R.Offset), double(R.Size)});
    return arrayOf(Pairs);
  }

  void give(double Offset, val Bytes) {
    Dump.add(wholeNumber(Offset), bytesOf(Bytes));
  }

  // Checks the patches as check does, under the block map in Blocks (as
  // readMap gives them): {report, problems, unreadable, segments, data},
  // segments the start, end and place in data of each run of bytes that
  // apply would write (with --force).
  val run(val Blocks, std::string DumpName) {
    const std::vector<std::int32_t> Values =
        emscripten::convertJSArrayToNumberVector<std::int32_t>(Blocks);
    BlockMap Map;
    for (std::size_t I = 0; I + 3 <= Values.size(); I += 3)
      Map.push_back({Values[I], Values[I + 1], Values[I + 2]});
    CheckOutcome Checked = checkPatches(Inputs, Dump, Map, PatchMode::Apply);
    val Result = val::object();
    Result.set("unreadable", Checked.DumpUnreadable);
    Result.set("problems", double(Checked.Problems));
    Result.set("report", reportText(Inputs, Checked, DumpName, true));
    const WritePlan Plan = planWrites(Inputs, std::move(Checked));
    std::vector<double> Segments;
    for (const Segment &S : Plan.Segments)
      Segments.insert(Segments.end(), {double(S.Start), double(S.End), double(S.At)});
    Result.set("segments", arrayOf(Segments));
    Result.set("data", arrayOf(Plan.Data));
    return Result;
  }

private:
  std::vector<PatchInput> Inputs;
  SliceSource Dump;
};

} // namespace
} // namespace torvel

EMSCRIPTEN_BINDINGS(torvel_patch) {
  using namespace torvel;
  emscripten::class_<DumpHash>("DumpHash")
      .constructor<>()
      .function("update", &DumpHash::update)
      .function("finish", &DumpHash::finish);
  emscripten::function("verifiedPatch", &verifiedPatch);
  emscripten::class_<PatchCheck>("PatchCheck")
      .constructor<double>()
      .function("add", &PatchCheck::add)
      .function("ranges", &PatchCheck::ranges)
      .function("give", &PatchCheck::give)
      .function("run", &PatchCheck::run);
}

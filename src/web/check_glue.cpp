// The page's check of patches: the texts read as flashers read them, the
// dump's bytes the check needs named so that the page fetches only those,
// check's report over them, and the pictures' rows as apply would leave
// them.
#include "web/glue_values.h"

#include "patch/apply.h"
#include "patch/check.h"
#include "patch/report.h"
#include "web/sparse_source.h"

#include <emscripten/bind.h>

#include <algorithm>
#include <optional>

namespace torvel {
namespace {

using emscripten::val;

// How each line of the report reads, for the page to tell them apart.
enum LineKind : std::uint32_t {
  Unreadable = 0,  // FILE:LINE:COLUMN: message
  Problem = 1,
  Note = 2,
  Applies = 3,     // a summary without problems
  DoesNotApply = 4, // a summary with some
};

// Touched pictures the page draws before and after, at most.
constexpr std::size_t MaxDrawnPictures = 64;

BlockMap mapOf(const val &Blocks) {
  const std::vector<std::int32_t> Values =
      emscripten::convertJSArrayToNumberVector<std::int32_t>(Blocks);
  BlockMap Map;
  for (std::size_t I = 0; I + 3 <= Values.size(); I += 3)
    Map.push_back({Values[I], Values[I + 1], Values[I + 2]});
  return Map;
}

// The pictures any patch writes, in index order: the first MaxDrawnPictures
// and whether there are more.
std::pair<std::vector<std::uint32_t>, bool> touchedPictures(const CheckOutcome &Checked) {
  IndexRuns Runs;
  bool More = false;
  for (const PatchSummary &S : Checked.Summaries) {
    Runs.insert(Runs.end(), S.Pictures.begin(), S.Pictures.end());
    std::uint64_t Listed = 0;
    for (const auto &[First, Last] : S.Pictures)
      Listed += Last - First + 1;
    More = More || Listed < S.PictureCount;
  }
  std::sort(Runs.begin(), Runs.end());
  std::vector<std::uint32_t> Indexes;
  for (const auto &[First, Last] : Runs)
    for (std::uint64_t I = std::max<std::uint64_t>(
             First, Indexes.empty() ? 0 : std::uint64_t(Indexes.back()) + 1);
         I <= Last; ++I) {
      if (Indexes.size() == MaxDrawnPictures)
        return {Indexes, true};
      Indexes.push_back(static_cast<std::uint32_t>(I));
    }
  return {Indexes, More};
}

class PatchCheck {
public:
  // Reads the patch text in Bytes, named Name in the report; the
  // "FILE:LINE:COLUMN: message" that ended the read, or nothing.
  std::string add(std::string Name, val Bytes) {
    ArraySource Source(std::move(Bytes));
    VkpReadResult Read = readVkp(Source);
    Inputs.push_back({std::move(Name), std::move(Read.Patch), std::move(Read.Error)});
    const PatchInput &In = Inputs.back();
    return In.ReadError ? formatVkpError(In.Name, *In.ReadError) : std::string();
  }

  // The dump's bytes the check reads besides its picture table, in a dump
  // of DumpSize bytes: a Float64Array of offset and size for each range.
  val ranges(double DumpSize) const {
    std::vector<double> Values;
    for (const DumpRange &R : neededRanges(Inputs, wholeNumber(DumpSize).value_or(0)))
      Values.insert(Values.end(), {double(R.Offset), double(R.Size)});
    return arrayOf(Values);
  }

  // Checks the patches as check does against the dump DumpName of DumpSize
  // bytes whose table Blocks place (as readMap gives them), from the dump's
  // bytes in Slices, an array of [offset, Uint8Array]: the table from its
  // start to its end entry and what ranges() names. Gives {error} when that
  // is not enough, else {text, lines, problems, pictures, morePictures}:
  // check's report, the kind and byte length of each of its lines, and the
  // pictures the patches write.
  val run(double DumpSize, std::string DumpName, val Blocks, val Slices) {
    Plan.reset();
    const std::optional<std::uint64_t> Size = wholeNumber(DumpSize);
    if (!Size)
      return fail("the dump's size is out of range");
    SparseSource Dump(*Size);
    const std::size_t Count = Slices["length"].as<std::size_t>();
    for (std::size_t I = 0; I < Count; ++I) {
      const val Slice = Slices[I];
      const std::optional<std::uint64_t> At = wholeNumber(Slice[0].as<double>());
      if (!At || !Dump.add(*At, bytesOf(Slice[1])))
        return fail("a slice lies outside the dump");
    }
    CheckOutcome Checked = checkPatches(Inputs, Dump, mapOf(Blocks), PatchMode::Apply);
    if (std::optional<std::uint64_t> Missing = Dump.refused())
      return fail("the page did not read the bytes at offset " +
                  std::to_string(*Missing) + " that the check needs");
    if (Checked.DumpUnreadable)
      return fail("cannot read " + DumpName);
    const std::string Text = reportText(Inputs, Checked, DumpName, true);
    std::vector<std::uint32_t> Lines;
    auto line = [&](LineKind Kind, const std::string &Line) {
      Lines.insert(Lines.end(), {Kind, static_cast<std::uint32_t>(Line.size() + 1)});
    };
    auto D = Checked.Diagnostics.begin();
    for (std::uint32_t P = 0; P < Inputs.size(); ++P) {
      for (; D != Checked.Diagnostics.end() && D->Patch == P; ++D)
        line(D->Kind == Finding::ReadError       ? Unreadable
             : isProblem(D->Kind, Checked.Mode) ? Problem
                                                : Note,
             findingLine(Inputs, Checked, *D, DumpName));
      line(Checked.Summaries[P].Problems > 0 ? DoesNotApply : Applies,
           summaryLine(Inputs, Checked, P, DumpName));
    }
    const auto [Pictures, More] = touchedPictures(Checked);
    val Result = val::object();
    Result.set("text", bytesVal(Text));
    Result.set("lines", arrayOf(Lines));
    Result.set("problems", double(Checked.Problems));
    Result.set("pictures", arrayOf(Pictures));
    Result.set("morePictures", More);
    Plan = planWrites(Inputs, std::move(Checked));
    return Result;
  }

  // Rows (bytes of the dump from Offset on) as the patches leave them once
  // applied in order, forced records too; empty before a run.
  val after(double Offset, val Rows) const {
    std::vector<std::uint8_t> Bytes = bytesOf(Rows);
    const std::optional<std::uint64_t> At = wholeNumber(Offset);
    if (!Plan || !At)
      return bytesVal("");
    Plan->applyTo(*At, Bytes);
    return arrayOf(Bytes);
  }

private:
  static val fail(const std::string &Message) {
    val Result = val::object();
    Result.set("error", Message);
    return Result;
  }

  std::vector<PatchInput> Inputs;
  std::optional<WritePlan> Plan;
};

} // namespace
} // namespace torvel

EMSCRIPTEN_BINDINGS(torvel_check) {
  using namespace torvel;
  emscripten::class_<PatchCheck>("PatchCheck")
      .constructor<>()
      .function("add", &PatchCheck::add)
      .function("ranges", &PatchCheck::ranges)
      .function("run", &PatchCheck::run)
      .function("after", &PatchCheck::after);
}

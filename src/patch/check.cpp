#include "patch/check.h"

#include "flash/picture_table.h"

#include <algorithm>
#include <bit>
#include <tuple>

namespace torvel {

namespace {

using Span = std::span<const std::uint8_t>;

std::size_t firstDifference(Span A, Span B) {
  return static_cast<std::size_t>(
      std::mismatch(A.begin(), A.end(), B.begin()).first - A.begin());
}

bool sameBytes(Span A, Span B) { return std::equal(A.begin(), A.end(), B.begin()); }

bool inDump(const PatchRecord &R, std::uint64_t DumpSize) {
  return R.Offset < DumpSize && R.Length <= DumpSize - R.Offset;
}

// Merged [start, end) ranges of one patch's records, by offset.
using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

bool touches(const Ranges &R, std::uint64_t From, std::uint64_t To) {
  auto It = std::upper_bound(
      R.begin(), R.end(), From,
      [](std::uint64_t F, const auto &Range) { return F < Range.second; });
  return It != R.end() && It->first < To;
}

void addPicture(PatchSummary &S, std::uint32_t Index) {
  ++S.PictureCount;
  if (!S.Pictures.empty() && S.Pictures.back().second + 1 == Index)
    S.Pictures.back().second = Index;
  else if (S.Pictures.size() < MaxPictureRuns)
    S.Pictures.push_back({Index, Index});
}

// Ranges of the index's bytes, merged: kept small however many pictures
// cover the same bytes.
class Coverage {
public:
  void add(std::uint64_t From, std::uint64_t To) {
    if (To <= From)
      return;
    Runs.push_back({From, To});
    if (Runs.size() >= 2 * Merged + 4096)
      merge();
  }

  void finish() {
    merge();
    std::uint64_t Total = 0;
    for (const auto &[From, To] : Runs) {
      Before.push_back(Total);
      Total += To - From;
    }
  }

  // How many of the bytes [From, To) are covered.
  std::uint64_t covered(std::uint64_t From, std::uint64_t To) const {
    return coveredBelow(To) - coveredBelow(From);
  }

private:
  void merge() {
    std::sort(Runs.begin(), Runs.end());
    std::size_t Kept = 0;
    for (const auto &Run : Runs) {
      if (Kept > 0 && Run.first <= Runs[Kept - 1].second)
        Runs[Kept - 1].second = std::max(Runs[Kept - 1].second, Run.second);
      else
        Runs[Kept++] = Run;
    }
    Runs.resize(Kept);
    Merged = Kept;
  }

  std::uint64_t coveredBelow(std::uint64_t At) const {
    auto It = std::upper_bound(
        Runs.begin(), Runs.end(), At,
        [](std::uint64_t A, const auto &Run) { return A < Run.second; });
    if (It == Runs.end())
      return Runs.empty() ? 0 : Before.back() + (Runs.back().second - Runs.back().first);
    const std::size_t K = static_cast<std::size_t>(It - Runs.begin());
    return Before[K] + (At > It->first ? At - It->first : 0);
  }

  std::vector<std::pair<std::uint64_t, std::uint64_t>> Runs;
  std::vector<std::uint64_t> Before; // covered bytes before each run
  std::size_t Merged = 0;
};

class Checker {
public:
  Checker(const std::vector<PatchInput> &In, ByteSource &D, const BlockMap &M,
          CheckOutcome &O)
      : Inputs(In), Dump(D), Map(M), Out(O), Ix(O.Index) {}

  void run() {
    for (std::uint32_t P = 0; P < Inputs.size(); ++P)
      checkBytes(P);
    findCollisions();
    findPictures();
    std::stable_sort(Out.Diagnostics.begin(), Out.Diagnostics.end(),
                     [](const Diagnostic &A, const Diagnostic &B) {
                       return std::tie(A.Patch, A.Record, A.Kind) <
                              std::tie(B.Patch, B.Record, B.Kind);
                     });
    for (const Diagnostic &D : Out.Diagnostics) {
      PatchSummary &S = Out.Summaries[D.Patch];
      if (!isProblem(D.Kind, Out.Mode)) {
        ++S.Notes;
        continue;
      }
      ++S.Problems;
      ++Out.Problems;
      if (isUnforceable(D.Kind, Out.Mode))
        ++Out.Unforceable;
    }
  }

private:
  const PatchRecord &record(RecordIndex::Ref R) const {
    return Inputs[R.Patch].Patch.Records[R.Record];
  }
  bool undo() const { return Out.Mode == PatchMode::Undo; }

  // Whether record Seq writes anything in this mode, and what.
  bool writes(const PatchRecord &R) const {
    return !undo() || (R.has(HasOldData) && R.has(UndoAllowed));
  }
  Span written(RecordIndex::Ref At) const {
    const VkpPatch &Patch = Inputs[At.Patch].Patch;
    const PatchRecord &R = record(At);
    return undo() ? Patch.oldData(R) : Patch.newData(R);
  }

  void note(Finding Kind, std::uint32_t P, std::uint32_t I,
            std::uint64_t Detail = 0) {
    Diagnostic &D = Out.Diagnostics.emplace_back();
    D.Kind = Kind;
    D.Patch = P;
    D.Record = I;
    D.Detail = Detail;
  }

  // Each record against the dump's bytes under it.
  void checkBytes(std::uint32_t P) {
    const PatchInput &In = Inputs[P];
    PatchSummary &S = Out.Summaries[P];
    if (In.ReadError)
      note(Finding::ReadError, P, 0);
    for (std::uint32_t I = 0; I < In.Patch.Records.size(); ++I) {
      const PatchRecord &R = In.Patch.Records[I];
      ++S.Records;
      S.Bytes += R.Length;
      if (!inDump(R, Out.DumpSize)) {
        note(Finding::OutsideDump, P, I);
        continue;
      }
      const Span Here = std::span(Ix.bytes()).subspan(
          static_cast<std::size_t>(Ix.unionAt(Ix.seqOf({P, I}))), R.Length);
      const Span New = In.Patch.newData(R), Old = In.Patch.oldData(R);
      if (!undo()) {
        if (!R.has(HasOldData) && R.has(WarnNoOld))
          note(Finding::NoOldData, P, I);
        if (sameBytes(Here, New)) {
          ++S.AlreadyThere;
          if (R.has(WarnNewExists))
            note(Finding::AlreadyThere, P, I);
        } else if (R.has(HasOldData) && !sameBytes(Here, Old)) {
          note(Finding::Differs, P, I, R.Offset + firstDifference(Here, Old));
        }
        continue;
      }
      if (!R.has(HasOldData))
        note(Finding::NoOldData, P, I);
      else if (!R.has(UndoAllowed))
        note(Finding::UndoDisabled, P, I);
      else if (sameBytes(Here, Old)) {
        ++S.AlreadyThere;
        if (R.has(WarnOldExists))
          note(Finding::AlreadyThere, P, I);
      } else if (!sameBytes(Here, New)) {
        note(Finding::Differs, P, I, R.Offset + firstDifference(Here, New));
      }
    }
  }

  // In offset order, each record's bytes against those painted before it
  // from its start on: with sorted starts they form one run, which a ring
  // as long as the longest record holds.
  void findCollisions() {
    std::uint32_t Longest = 1;
    for (std::uint64_t Key : Ix.sorted())
      Longest = std::max<std::uint32_t>(Longest,
                                        record(Ix.refOf(Ix.seqOfKey(Key))).Length);
    const std::uint64_t Mask = std::bit_ceil(Longest) - 1;
    std::vector<std::uint32_t> Painter(Mask + 1);
    std::vector<bool> Reported(Ix.count());
    std::uint64_t PaintedEnd = 0;
    for (std::uint64_t Key : Ix.sorted()) {
      const std::uint32_t Seq = Ix.seqOfKey(Key);
      const RecordIndex::Ref At = Ix.refOf(Seq);
      const PatchRecord &R = record(At);
      if (!writes(R))
        continue;
      const std::uint64_t Start = Ix.unionAt(Seq), End = Start + R.Length;
      const Span Bytes = written(At);
      for (std::uint64_t U = Start; U < std::min(End, PaintedEnd); ++U) {
        const std::uint32_t Other = Painter[U & Mask];
        const std::uint8_t Theirs = written(Ix.refOf(Other))[U - Ix.unionAt(Other)];
        if (Theirs == Bytes[U - Start])
          continue;
        const std::uint32_t Later = std::max(Seq, Other);
        if (Reported[Later])
          continue;
        Reported[Later] = true;
        const RecordIndex::Ref Target = Ix.refOf(Later);
        const RecordIndex::Ref Named = Ix.refOf(std::min(Seq, Other));
        note(Finding::Collision, Target.Patch, Target.Record,
             R.Offset + (U - Start));
        Out.Diagnostics.back().OtherPatch = Named.Patch;
        Out.Diagnostics.back().OtherRecord = Named.Record;
      }
      for (std::uint64_t U = std::max(Start, PaintedEnd); U < End; ++U)
        Painter[U & Mask] = Seq;
      PaintedEnd = std::max(PaintedEnd, End);
    }
  }

  // The table read once, each picture against the records' ranges: which
  // patches touch it, and which record bytes lie in some picture.
  void findPictures() {
    std::vector<Ranges> PatchRanges(Inputs.size());
    for (std::uint64_t Key : Ix.sorted()) {
      const RecordIndex::Ref At = Ix.refOf(Ix.seqOfKey(Key));
      const PatchRecord &R = record(At);
      Ranges &Mine = PatchRanges[At.Patch];
      const std::uint64_t End = std::uint64_t(R.Offset) + R.Length;
      if (Mine.empty() || R.Offset > Mine.back().second)
        Mine.push_back({R.Offset, End});
      else
        Mine.back().second = std::max(Mine.back().second, End);
    }
    Coverage Covered;
    auto cover = [&](std::uint64_t From, std::uint64_t To) {
      Covered.add(Ix.unionAtOffset(From), Ix.unionAtOffset(To));
    };
    const std::uint64_t TableStart = PictureTableOffset;
    std::uint64_t TableEnd = TableStart;
    EntryCursor Cursor(Dump, 0);
    for (;;) {
      const std::int64_t Index = Cursor.index();
      const std::optional<EntryBytes> Bytes = Cursor.next();
      if (!Bytes) {
        // The table runs to the end of the dump.
        if (Index <= MaxPictureIndex)
          TableEnd = std::max(TableEnd, Out.DumpSize);
        break;
      }
      TableEnd += 8;
      if (isTableEnd(*Bytes))
        break;
      const PicturePlace Place = placePicture(decodeEntry(*Bytes), Map, Out.DumpSize);
      if (Place.Offset == -1 || !Place.InDump || Place.Size == 0)
        continue;
      const std::uint64_t From = static_cast<std::uint32_t>(Place.Offset);
      const std::uint64_t To = From + Place.Size;
      cover(From, To);
      for (std::uint32_t P = 0; P < Inputs.size(); ++P)
        if (touches(PatchRanges[P], From, To))
          addPicture(Out.Summaries[P], static_cast<std::uint32_t>(Index));
    }
    // The table is reported on its own, not as bytes outside every picture.
    cover(TableStart, TableEnd);
    Covered.finish();
    for (std::uint64_t Key : Ix.sorted()) {
      const std::uint32_t Seq = Ix.seqOfKey(Key);
      const RecordIndex::Ref At = Ix.refOf(Seq);
      const PatchRecord &R = record(At);
      if (R.Offset < TableEnd && std::uint64_t(R.Offset) + R.Length > TableStart)
        note(Finding::InTable, At.Patch, At.Record);
      const std::uint64_t Start = Ix.unionAt(Seq);
      const std::uint64_t Outside = R.Length - Covered.covered(Start, Start + R.Length);
      if (Outside > 0)
        note(Finding::OutsidePictures, At.Patch, At.Record, Outside);
    }
  }

  const std::vector<PatchInput> &Inputs;
  ByteSource &Dump;
  const BlockMap &Map;
  CheckOutcome &Out;
  RecordIndex &Ix;
};

} // namespace

bool isProblem(Finding Kind, PatchMode Mode) {
  switch (Kind) {
  case Finding::NoOldData:
    return Mode == PatchMode::Undo;
  case Finding::AlreadyThere:
  case Finding::InTable:
  case Finding::OutsidePictures:
    return false;
  default:
    return true;
  }
}

bool isUnforceable(Finding Kind, PatchMode Mode) {
  return isProblem(Kind, Mode) && Kind != Finding::Differs &&
         Kind != Finding::Collision;
}

CheckOutcome checkPatches(const std::vector<PatchInput> &Inputs,
                          ByteSource &Dump, const BlockMap &Map,
                          PatchMode Mode) {
  CheckOutcome Out;
  Out.Mode = Mode;
  Out.DumpSize = Dump.size();
  Out.Summaries.resize(Inputs.size());
  Out.Index = RecordIndex(Inputs, Mode, Out.DumpSize);
  if (!Out.Index.load(Dump)) {
    Out.DumpUnreadable = true;
    return Out;
  }
  Checker(Inputs, Dump, Map, Out).run();
  return Out;
}

} // namespace torvel

#include "patch/apply.h"

#include <algorithm>

namespace torvel {

void WritePlan::applyTo(std::uint64_t Offset,
                        std::span<std::uint8_t> Chunk) const {
  const std::uint64_t End = Offset + Chunk.size();
  auto It = std::upper_bound(
      Segments.begin(), Segments.end(), Offset,
      [](std::uint64_t O, const Segment &S) { return O < S.End; });
  for (; It != Segments.end() && It->Start < End; ++It) {
    const std::uint64_t From = std::max(It->Start, Offset);
    const std::uint64_t To = std::min(It->End, End);
    std::copy_n(Data.begin() + std::ptrdiff_t(It->At + (From - It->Start)),
                To - From, Chunk.begin() + std::ptrdiff_t(From - Offset));
  }
}

WritePlan planWrites(const std::vector<PatchInput> &Inputs,
                     CheckOutcome &&Checked) {
  WritePlan Plan;
  Plan.Mode = Checked.Mode;
  RecordIndex &Ix = Checked.Index;
  Plan.Segments = Ix.segments();
  Plan.Data = std::move(Ix.bytes());
  const bool Undo = Checked.Mode == PatchMode::Undo;
  for (std::uint32_t Seq = 0; Seq < Ix.count(); ++Seq) {
    const RecordIndex::Ref At = Ix.refOf(Seq);
    const VkpPatch &Patch = Inputs[At.Patch].Patch;
    const PatchRecord &R = Patch.Records[At.Record];
    if (R.Offset >= Checked.DumpSize || R.Length > Checked.DumpSize - R.Offset ||
        (Undo && !(R.has(HasOldData) && R.has(UndoAllowed))))
      continue;
    const std::span<const std::uint8_t> Bytes =
        Undo ? Patch.oldData(R) : Patch.newData(R);
    std::copy(Bytes.begin(), Bytes.end(),
              Plan.Data.begin() + std::ptrdiff_t(Ix.unionAt(Seq)));
    ++Plan.Records;
    Plan.Bytes += R.Length;
  }
  for (const PatchSummary &S : Checked.Summaries)
    Plan.AlreadyThere += S.AlreadyThere;
  // Findings come by record, so a record's come together.
  const Diagnostic *Last = nullptr;
  for (const Diagnostic &D : Checked.Diagnostics) {
    if (D.Kind != Finding::Differs && D.Kind != Finding::Collision)
      continue;
    if (!Last || Last->Patch != D.Patch || Last->Record != D.Record)
      ++Plan.Forced;
    Last = &D;
  }
  return Plan;
}

std::string applySummary(const std::string &OutputName, const WritePlan &Plan) {
  auto counted = [](std::uint64_t N, const char *One, const char *Many) {
    return std::to_string(N) + " " + (N == 1 ? One : Many);
  };
  std::string Text =
      OutputName + ": " + counted(Plan.Records, "record", "records") +
      (Plan.Mode == PatchMode::Undo ? " undone, " : " applied, ") +
      counted(Plan.Bytes, "byte", "bytes") + "; " +
      std::to_string(Plan.AlreadyThere) + " already there";
  if (Plan.Forced > 0)
    Text += "; " + std::to_string(Plan.Forced) + " forced";
  return Text;
}

} // namespace torvel

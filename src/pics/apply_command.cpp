#include "pics/commands.h"

#include "patch/apply.h"
#include "patch/report.h"
#include "pics/patch_files.h"

namespace torvel {

namespace {

// The dump is copied in pieces this large.
constexpr std::size_t CopyChunk = 1 << 20;

std::string problems(std::uint64_t N) {
  return std::to_string(N) + (N == 1 ? " problem" : " problems");
}

// The dump through Plan into Out, piece by piece.
std::optional<Stop> copyDump(Session &S, const WritePlan &Plan, StagedFile &Out) {
  std::vector<std::uint8_t> Chunk(CopyChunk);
  const std::uint64_t Size = S.Flash.size();
  for (std::uint64_t At = 0; At < Size;) {
    const std::size_t Want =
        static_cast<std::size_t>(std::min<std::uint64_t>(Chunk.size(), Size - At));
    const std::span<std::uint8_t> Piece = std::span(Chunk).first(Want);
    if (S.Flash.readAt(At, Piece) != Want)
      return Stop{"cannot read " + S.Req.FlashName};
    Plan.applyTo(At, Piece);
    if (!Out.write({reinterpret_cast<const char *>(Piece.data()), Piece.size()}))
      return Stop{"cannot write " + S.Req.OutputName};
    At += Want;
  }
  if (!Out.commit())
    return Stop{"cannot write " + S.Req.OutputName};
  return std::nullopt;
}

} // namespace

std::optional<Stop> runApply(Session &S) {
  const Request &Req = S.Req;
  std::vector<PatchInput> Inputs;
  if (std::optional<Stop> Failed = readPatchFiles(Req.PatchNames, Inputs))
    return Failed;
  CheckOutcome Checked = checkPatches(
      Inputs, S.Flash, S.Map, Req.Undo ? PatchMode::Undo : PatchMode::Apply);
  if (Checked.DumpUnreadable)
    return Stop{"cannot read " + Req.FlashName};
  writeReport(Inputs, Checked, Req.FlashName, false, writeStderr);
  if (!Req.Force && Checked.Problems > 0)
    return Stop{"will not write " + Req.OutputName + ": " +
                problems(Checked.Problems) + " (see above)"};
  if (Checked.Unforceable > 0)
    return Stop{"will not write " + Req.OutputName + ": " +
                problems(Checked.Unforceable) +
                " that --force does not override (see above)"};
  const WritePlan Plan = planWrites(Inputs, std::move(Checked));
  StagedFile Out;
  if (std::optional<Stop> Failed = Session::saveFailure(
          Req.OutputName,
          StagedFile::create(Req.OutputName, S.inputs(Req.PatchNames), Out)))
    return Failed;
  if (std::optional<Stop> Failed = copyDump(S, Plan, Out))
    return Failed;
  if (!writeStdout(applySummary(Req.OutputName, Plan) + "\n"))
    return Stop{"cannot write to standard output"};
  return std::nullopt;
}

} // namespace torvel

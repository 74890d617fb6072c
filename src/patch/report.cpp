#include "patch/report.h"

#include "base/int_text.h"

namespace torvel {

namespace {

using Span = std::span<const std::uint8_t>;

// Longer data show this many bytes around the first difference.
constexpr std::size_t ShownBytes = 16;

std::string counted(std::uint64_t N, const char *One, const char *Many) {
  return std::to_string(N) + " " + (N == 1 ? One : Many);
}

std::string pictureList(const PatchSummary &S) {
  if (S.PictureCount == 0)
    return "no picture";
  std::string Text = S.PictureCount == 1 ? "picture " : "pictures ";
  std::uint64_t Listed = 0;
  for (const auto &[First, Last] : S.Pictures) {
    if (Listed > 0)
      Text += ", ";
    Text += std::to_string(First);
    if (Last > First)
      Text.append("-").append(std::to_string(Last));
    Listed += Last - First + 1;
  }
  if (Listed < S.PictureCount)
    Text += ", ... (" + std::to_string(S.PictureCount) + " in all)";
  return Text;
}

class Lines {
public:
  Lines(const std::vector<PatchInput> &In, const CheckOutcome &C,
        const std::string &Dump)
      : Inputs(In), Checked(C), DumpName(Dump) {}

  std::string finding(const Diagnostic &D) const {
    const PatchInput &In = Inputs[D.Patch];
    if (D.Kind == Finding::ReadError)
      return formatVkpError(In.Name, *In.ReadError);
    const PatchRecord &R = In.Patch.Records[D.Record];
    return In.Name + ":" + std::to_string(R.Line) + ": " +
           (isProblem(D.Kind, Checked.Mode) ? "problem" : "note") +
           ": offset " + hex8(R.Offset) + ": " + what(D, R);
  }

private:
  bool undo() const { return Checked.Mode == PatchMode::Undo; }

  std::string what(const Diagnostic &D, const PatchRecord &R) const {
    const VkpPatch &Patch = Inputs[D.Patch].Patch;
    switch (D.Kind) {
    case Finding::OutsideDump:
      return std::string(R.Offset < Checked.DumpSize ? "runs" : "lies") +
             " past the end of " + DumpName + " (" +
             counted(Checked.DumpSize, "byte", "bytes") + ")";
    case Finding::NoOldData:
      return undo() ? "no old data: it cannot be undone"
                    : "no old data: it cannot be verified or undone";
    case Finding::UndoDisabled:
      return "read under #pragma disable undo: it may not be undone";
    case Finding::Differs:
      return differs(D, R);
    case Finding::AlreadyThere:
      return undo() ? "the old data are in the dump already"
                    : "the new data are in the dump already";
    case Finding::Collision: {
      const PatchInput &Other = Inputs[D.OtherPatch];
      const PatchRecord &O = Other.Patch.Records[D.OtherRecord];
      const std::size_t Mine = static_cast<std::size_t>(D.Detail - R.Offset);
      const std::size_t Theirs = static_cast<std::size_t>(D.Detail - O.Offset);
      const Span A = undo() ? Patch.oldData(R) : Patch.newData(R);
      const Span B = undo() ? Other.Patch.oldData(O) : Other.Patch.newData(O);
      return "writes " + upperHex(A.subspan(Mine, 1)) + " at " +
             hex8(static_cast<std::uint32_t>(D.Detail)) + " where " +
             Other.Name + ":" + std::to_string(O.Line) + " writes " +
             upperHex(B.subspan(Theirs, 1));
    }
    case Finding::InTable:
      return "writes into the picture table";
    case Finding::OutsidePictures:
      return "writes " + counted(D.Detail, "byte", "bytes") +
             " outside every picture";
    case Finding::ReadError:
      break;
    }
    return {};
  }

  std::string differs(const Diagnostic &D, const PatchRecord &R) const {
    const VkpPatch &Patch = Inputs[D.Patch].Patch;
    const RecordIndex &Ix = Checked.Index;
    const Span Here = std::span(Ix.bytes()).subspan(
        static_cast<std::size_t>(Ix.unionAt(Ix.seqOf({D.Patch, D.Record}))),
        R.Length);
    const std::size_t First = static_cast<std::size_t>(D.Detail - R.Offset);
    std::size_t From = 0, Count = R.Length;
    if (Count > ShownBytes) {
      From = std::min<std::size_t>(First >= 4 ? First - 4 : 0, Count - ShownBytes);
      Count = ShownBytes;
    }
    auto shown = [&](Span Bytes) {
      return (From > 0 ? "..." : "") + upperHex(Bytes.subspan(From, Count)) +
             (From + Count < R.Length ? "..." : "");
    };
    const std::string Old = "the old data " + shown(Patch.oldData(R));
    const std::string New = "the new data " + shown(Patch.newData(R));
    std::string Text = "the dump holds " + shown(Here) + ", neither " +
                       (undo() ? New + " nor " + Old : Old + " nor " + New);
    if (From > 0)
      Text += " (bytes from " + hex8(R.Offset + static_cast<std::uint32_t>(From)) + " on)";
    return Text;
  }

  const std::vector<PatchInput> &Inputs;
  const CheckOutcome &Checked;
  const std::string &DumpName;
};

} // namespace

std::string findingLine(const std::vector<PatchInput> &Inputs,
                        const CheckOutcome &Checked, const Diagnostic &D,
                        const std::string &DumpName) {
  return Lines(Inputs, Checked, DumpName).finding(D);
}

std::string summaryLine(const std::vector<PatchInput> &Inputs,
                        const CheckOutcome &Checked, std::uint32_t Patch,
                        const std::string &DumpName) {
  const PatchSummary &S = Checked.Summaries[Patch];
  std::string Text = Inputs[Patch].Name + ": " +
                     counted(S.Records, "record", "records") + ", " +
                     counted(S.Bytes, "byte", "bytes") + ", " +
                     pictureList(S) + ": ";
  if (S.Problems > 0)
    return Text + "does not apply to " + DumpName + ": " +
           counted(S.Problems, "problem", "problems") + ", " +
           counted(S.Notes, "note", "notes");
  if (S.Records > 0 && S.AlreadyThere == S.Records)
    return Text + "already applied to " + DumpName;
  return Text + "applies to " + DumpName;
}

bool writeReport(const std::vector<PatchInput> &Inputs,
                 const CheckOutcome &Checked, const std::string &DumpName,
                 bool WithSummaries,
                 const std::function<bool(std::string_view)> &Sink) {
  const Lines Format(Inputs, Checked, DumpName);
  std::string Text;
  auto D = Checked.Diagnostics.begin();
  for (std::uint32_t P = 0; P < Inputs.size(); ++P) {
    for (; D != Checked.Diagnostics.end() && D->Patch == P; ++D) {
      Text += Format.finding(*D) + "\n";
      if (Text.size() >= 64 * 1024 && !Sink(std::exchange(Text, {})))
        return false;
    }
    if (WithSummaries)
      Text += summaryLine(Inputs, Checked, P, DumpName) + "\n";
  }
  return Text.empty() || Sink(Text);
}

std::string reportText(const std::vector<PatchInput> &Inputs,
                       const CheckOutcome &Checked,
                       const std::string &DumpName, bool WithSummaries) {
  std::string Text;
  writeReport(Inputs, Checked, DumpName, WithSummaries,
              [&](std::string_view Piece) {
                Text += Piece;
                return true;
              });
  return Text;
}

} // namespace torvel

#include "patch/record_index.h"

#include <algorithm>

namespace torvel {

RecordIndex::RecordIndex(const std::vector<PatchInput> &Inputs, PatchMode M,
                         std::uint64_t DumpSize)
    : Mode(M) {
  const std::size_t Patches = Inputs.size();
  for (const PatchInput &In : Inputs)
    Sizes.push_back(static_cast<std::uint32_t>(In.Patch.Records.size()));
  for (std::size_t K = 0; K < Patches; ++K) {
    Starts.push_back(Count);
    Count += Sizes[Mode == PatchMode::Apply ? K : Patches - 1 - K];
  }
  UnionAt.assign(Count, 0);
  for (std::uint32_t P = 0; P < Patches; ++P) {
    const std::vector<PatchRecord> &Records = Inputs[P].Patch.Records;
    for (std::uint32_t I = 0; I < Records.size(); ++I) {
      const PatchRecord &R = Records[I];
      if (R.Offset < DumpSize && R.Length <= DumpSize - R.Offset)
        Sorted.push_back(std::uint64_t(R.Offset) << 32 | seqOf({P, I}));
    }
  }
  std::sort(Sorted.begin(), Sorted.end());
  std::uint64_t Size = 0;
  for (std::uint64_t Key : Sorted) {
    const std::uint32_t Seq = seqOfKey(Key);
    const Ref At = refOf(Seq);
    const PatchRecord &R = Inputs[At.Patch].Patch.Records[At.Record];
    const std::uint64_t End = std::uint64_t(R.Offset) + R.Length;
    if (Segments.empty() || R.Offset > Segments.back().End)
      Segments.push_back({R.Offset, R.Offset, Size});
    Segment &S = Segments.back();
    if (End > S.End) {
      Size += End - S.End;
      S.End = End;
    }
    UnionAt[Seq] = S.At + (R.Offset - S.Start);
  }
}

RecordIndex::Ref RecordIndex::refOf(std::uint32_t Seq) const {
  const std::size_t K = static_cast<std::size_t>(
      std::upper_bound(Starts.begin(), Starts.end(), Seq) - Starts.begin() - 1);
  // Empty patches share their start with the next; the last of them holds
  // Seq.
  const std::size_t Patches = Sizes.size();
  const std::uint32_t Within = Seq - Starts[K];
  if (Mode == PatchMode::Apply)
    return {static_cast<std::uint32_t>(K), Within};
  const std::size_t P = Patches - 1 - K;
  return {static_cast<std::uint32_t>(P), Sizes[P] - 1 - Within};
}

std::uint32_t RecordIndex::seqOf(Ref R) const {
  if (Mode == PatchMode::Apply)
    return Starts[R.Patch] + R.Record;
  return Starts[Sizes.size() - 1 - R.Patch] + (Sizes[R.Patch] - 1 - R.Record);
}

std::uint64_t RecordIndex::unionSize() const {
  if (Segments.empty())
    return 0;
  const Segment &Last = Segments.back();
  return Last.At + (Last.End - Last.Start);
}

std::uint64_t RecordIndex::unionAtOffset(std::uint64_t Offset) const {
  auto It = std::upper_bound(
      Segments.begin(), Segments.end(), Offset,
      [](std::uint64_t O, const Segment &S) { return O < S.End; });
  if (It == Segments.end())
    return unionSize();
  return It->Start >= Offset ? It->At : It->At + (Offset - It->Start);
}

std::vector<DumpRange> RecordIndex::reads() const {
  std::vector<DumpRange> Out;
  std::optional<DumpRange> Open;
  auto flush = [&] {
    if (Open)
      Out.push_back(*Open);
    Open.reset();
  };
  for (const Segment &S : Segments) {
    std::uint64_t From = S.Start;
    while (S.End - From > MaxReadSize) {
      flush();
      Out.push_back({From, MaxReadSize});
      From += MaxReadSize;
    }
    if (Open && From - (Open->Offset + Open->Size) <= MaxReadGap &&
        S.End - Open->Offset <= MaxReadSize) {
      Open->Size = S.End - Open->Offset;
      continue;
    }
    flush();
    Open = DumpRange{From, S.End - From};
  }
  flush();
  return Out;
}

bool RecordIndex::load(ByteSource &Dump) {
  Bytes.assign(static_cast<std::size_t>(unionSize()), 0);
  std::vector<std::uint8_t> Buffer;
  auto S = Segments.begin();
  for (const DumpRange &R : reads()) {
    Buffer.resize(static_cast<std::size_t>(R.Size));
    if (Dump.readAt(R.Offset, Buffer) != Buffer.size())
      return false;
    const std::uint64_t End = R.Offset + R.Size;
    // Segments run in order, as the reads do; one may span several reads.
    for (; S != Segments.end() && S->Start < End; ++S) {
      const std::uint64_t From = std::max(S->Start, R.Offset);
      const std::uint64_t To = std::min(S->End, End);
      std::copy(Buffer.begin() + std::ptrdiff_t(From - R.Offset),
                Buffer.begin() + std::ptrdiff_t(To - R.Offset),
                Bytes.begin() + std::ptrdiff_t(S->At + (From - S->Start)));
      if (S->End > End)
        break;
    }
  }
  return true;
}

std::vector<DumpRange> neededRanges(const std::vector<PatchInput> &Inputs,
                                    std::uint64_t DumpSize) {
  return RecordIndex(Inputs, PatchMode::Apply, DumpSize).reads();
}

} // namespace torvel

// The records of several patches in one order, and the dump bytes they
// touch: sorted by offset, merged into disjoint segments, read in few
// large pieces.
#ifndef TORVEL_PATCH_RECORD_INDEX_H
#define TORVEL_PATCH_RECORD_INDEX_H

#include "base/byte_source.h"
#include "patch/vkp_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

// A patch as the check takes it: its name for messages, and what was read.
struct PatchInput {
  std::string Name;
  VkpPatch Patch;
  std::optional<VkpError> ReadError;
};

enum class PatchMode {
  Apply, // new data written, patches and records in order
  Undo,  // old data written, patches and records last first
};

// Bytes [Start, End) of the dump; At is where they begin in the index's
// bytes.
struct Segment {
  std::uint64_t Start = 0;
  std::uint64_t End = 0;
  std::uint64_t At = 0;
};

struct DumpRange {
  std::uint64_t Offset = 0;
  std::uint64_t Size = 0;
};

// Records are numbered in the order they are applied (the sequence); an
// earlier number is applied earlier.
class RecordIndex {
public:
  RecordIndex() = default;
  // Takes every record of Inputs that lies wholly in a dump of DumpSize
  // bytes.
  RecordIndex(const std::vector<PatchInput> &Inputs, PatchMode Mode,
              std::uint64_t DumpSize);

  struct Ref {
    std::uint32_t Patch;
    std::uint32_t Record;
  };

  std::uint32_t count() const { return Count; }
  Ref refOf(std::uint32_t Seq) const;
  std::uint32_t seqOf(Ref R) const;

  // Sequence numbers of the records in the dump, by offset and then by
  // sequence.
  const std::vector<std::uint64_t> &sorted() const { return Sorted; }
  static std::uint32_t seqOfKey(std::uint64_t Key) {
    return static_cast<std::uint32_t>(Key);
  }
  const std::vector<Segment> &segments() const { return Segments; }
  std::uint64_t unionSize() const;
  // Where the bytes of record Seq (in the dump) begin in the index's bytes.
  std::uint64_t unionAt(std::uint32_t Seq) const { return UnionAt[Seq]; }
  // Where the first byte at or past dump offset Offset lies in the index's
  // bytes; unionSize() when none does.
  std::uint64_t unionAtOffset(std::uint64_t Offset) const;

  // The reads that bring in every segment: neighbours share one, none is
  // above MaxReadSize.
  std::vector<DumpRange> reads() const;

  // The dump's bytes of every segment, read as reads() says; false when
  // the dump gives fewer.
  bool load(ByteSource &Dump);
  std::vector<std::uint8_t> &bytes() { return Bytes; }
  const std::vector<std::uint8_t> &bytes() const { return Bytes; }

  static constexpr std::uint64_t MaxReadSize = 1 << 20;
  // Gaps up to this between segments are read rather than skipped.
  static constexpr std::uint64_t MaxReadGap = 16 << 10;

private:
  std::uint32_t Count = 0;
  PatchMode Mode = PatchMode::Apply;
  // Records of each patch, and the sequence number where each block of
  // records begins, blocks in the order applied.
  std::vector<std::uint32_t> Sizes;
  std::vector<std::uint32_t> Starts;
  std::vector<std::uint64_t> Sorted; // offset << 32 | sequence
  std::vector<Segment> Segments;
  std::vector<std::uint64_t> UnionAt; // by sequence; 0 outside the dump
  std::vector<std::uint8_t> Bytes;
};

// The dump ranges a check of Inputs reads besides the picture table, so
// that a caller that holds the dump elsewhere can fetch them first.
std::vector<DumpRange> neededRanges(const std::vector<PatchInput> &Inputs,
                                    std::uint64_t DumpSize);

} // namespace torvel

#endif

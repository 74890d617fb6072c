// The parts of a dump that the page has read, as a source the core's
// readers take: a read of bytes it was not given gets nothing and is
// remembered, so that a caller that asked for too little learns it instead
// of taking a gap for the end of the dump.
#ifndef TORVEL_WEB_SPARSE_SOURCE_H
#define TORVEL_WEB_SPARSE_SOURCE_H

#include "base/byte_source.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace torvel {

class SparseSource : public ByteSource {
public:
  // A dump of Size bytes of which none is given yet.
  explicit SparseSource(std::uint64_t Size) : Total(Size) {}

  // Gives the dump's Bytes from Offset on; pieces may overlap. False, and
  // nothing kept, when they run past the dump's end.
  bool add(std::uint64_t Offset, std::vector<std::uint8_t> Bytes);

  std::uint64_t size() const override { return Total; }

  // Copies from Offset on, up to the end of the given bytes that hold it; a
  // read that starts at a byte inside the dump that no piece holds gets
  // nothing and is recorded in refused().
  std::size_t readAt(std::uint64_t Offset, std::span<std::uint8_t> Buffer) override;

  // The first offset such a read asked for, if any did.
  std::optional<std::uint64_t> refused() const { return Refused; }

private:
  struct Piece {
    std::uint64_t Offset;
    std::vector<std::uint8_t> Bytes;
    std::uint64_t end() const { return Offset + Bytes.size(); }
  };
  // Pieces that overlap or touch become one, before the first read.
  void merge();
  const Piece *holding(std::uint64_t Offset) const;

  std::uint64_t Total;
  std::vector<Piece> Pieces; // by offset and disjoint once merged
  bool Merged = true;
  std::optional<std::uint64_t> Refused;
};

} // namespace torvel

#endif

#include "web/sparse_source.h"

#include <algorithm>

namespace torvel {

bool SparseSource::add(std::uint64_t Offset, std::vector<std::uint8_t> Bytes) {
  if (Offset > Total || Bytes.size() > Total - Offset)
    return false;
  if (!Bytes.empty()) {
    Pieces.push_back(Piece{Offset, std::move(Bytes)});
    Merged = false;
  }
  return true;
}

void SparseSource::merge() {
  std::sort(Pieces.begin(), Pieces.end(),
            [](const Piece &A, const Piece &B) { return A.Offset < B.Offset; });
  std::vector<Piece> Kept;
  for (Piece &P : Pieces) {
    if (Kept.empty() || P.Offset > Kept.back().end()) {
      Kept.push_back(std::move(P));
      continue;
    }
    // Both hold the dump's bytes where they overlap: only the rest is new.
    Piece &Last = Kept.back();
    if (P.end() > Last.end())
      Last.Bytes.insert(Last.Bytes.end(),
                        P.Bytes.end() - static_cast<std::ptrdiff_t>(P.end() - Last.end()),
                        P.Bytes.end());
  }
  Pieces = std::move(Kept);
  Merged = true;
}

const SparseSource::Piece *SparseSource::holding(std::uint64_t Offset) const {
  auto After = std::upper_bound(Pieces.begin(), Pieces.end(), Offset,
                                [](std::uint64_t O, const Piece &P) { return O < P.Offset; });
  if (After == Pieces.begin())
    return nullptr;
  const Piece &P = *std::prev(After);
  return P.end() > Offset ? &P : nullptr;
}

std::size_t SparseSource::readAt(std::uint64_t Offset,
                                 std::span<std::uint8_t> Buffer) {
  if (!Merged)
    merge();
  const Piece *P = holding(Offset);
  if (!P) {
    if (Offset < Total && !Refused)
      Refused = Offset;
    return 0;
  }
  const std::size_t N = static_cast<std::size_t>(
      std::min<std::uint64_t>(Buffer.size(), P->end() - Offset));
  std::copy_n(P->Bytes.begin() + static_cast<std::ptrdiff_t>(Offset - P->Offset), N,
              Buffer.begin());
  return N;
}

} // namespace torvel

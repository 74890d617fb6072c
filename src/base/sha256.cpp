#include "base/sha256.h"

#include <algorithm>
#include <vector>

namespace torvel {

namespace {

constexpr std::uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1,
    0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3,
    0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
    0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147,
    0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
    0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
    0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208,
    0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t X, int N) {
  return X >> N | X << (32 - N);
}

std::uint32_t readBe32(const std::uint8_t *P) {
  return std::uint32_t(P[0]) << 24 | std::uint32_t(P[1]) << 16 |
         std::uint32_t(P[2]) << 8 | std::uint32_t(P[3]);
}

} // namespace

Sha256::Sha256()
    : State{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f,
            0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::compress(const std::uint8_t *Block) {
  std::uint32_t W[16];
  for (int I = 0; I < 16; ++I)
    W[I] = readBe32(Block + 4 * I);
  std::uint32_t A = State[0], B = State[1], C = State[2], D = State[3],
                E = State[4], F = State[5], G = State[6], H = State[7];

  // Eight rounds a step, the letters renamed instead of moved; the schedule
  // keeps only the last 16 words.
#define TORVEL_SHA_ROUND(A, B, C, D, E, F, G, H, I, Word)                      \
  do {                                                                         \
    std::uint32_t T1 = H + (rotr(E, 6) ^ rotr(E, 11) ^ rotr(E, 25)) +          \
                       ((E & F) ^ (~E & G)) + RoundConstants[I] + (Word);      \
    std::uint32_t T2 =                                                         \
        (rotr(A, 2) ^ rotr(A, 13) ^ rotr(A, 22)) + ((A & B) ^ (A & C) ^ (B & C)); \
    D += T1;                                                                   \
    H = T1 + T2;                                                               \
  } while (0)
#define TORVEL_SHA_NEXT(I)                                                     \
  (W[(I) & 15] += (rotr(W[((I) + 14) & 15], 17) ^                              \
                   rotr(W[((I) + 14) & 15], 19) ^ (W[((I) + 14) & 15] >> 10)) + \
                  W[((I) + 9) & 15] +                                          \
                  (rotr(W[((I) + 1) & 15], 7) ^ rotr(W[((I) + 1) & 15], 18) ^   \
                   (W[((I) + 1) & 15] >> 3)))
#define TORVEL_SHA_EIGHT(I, Word)                                              \
  do {                                                                         \
    TORVEL_SHA_ROUND(A, B, C, D, E, F, G, H, (I) + 0, Word((I) + 0));          \
    TORVEL_SHA_ROUND(H, A, B, C, D, E, F, G, (I) + 1, Word((I) + 1));          \
    TORVEL_SHA_ROUND(G, H, A, B, C, D, E, F, (I) + 2, Word((I) + 2));          \
    TORVEL_SHA_ROUND(F, G, H, A, B, C, D, E, (I) + 3, Word((I) + 3));          \
    TORVEL_SHA_ROUND(E, F, G, H, A, B, C, D, (I) + 4, Word((I) + 4));          \
    TORVEL_SHA_ROUND(D, E, F, G, H, A, B, C, (I) + 5, Word((I) + 5));          \
    TORVEL_SHA_ROUND(C, D, E, F, G, H, A, B, (I) + 6, Word((I) + 6));          \
    TORVEL_SHA_ROUND(B, C, D, E, F, G, H, A, (I) + 7, Word((I) + 7));          \
  } while (0)
#define TORVEL_SHA_FIRST(I) W[I]

  TORVEL_SHA_EIGHT(0, TORVEL_SHA_FIRST);
  TORVEL_SHA_EIGHT(8, TORVEL_SHA_FIRST);
  for (int Step = 16; Step < 64; Step += 16) {
    TORVEL_SHA_EIGHT(Step, TORVEL_SHA_NEXT);
    TORVEL_SHA_EIGHT(Step + 8, TORVEL_SHA_NEXT);
  }
#undef TORVEL_SHA_FIRST
#undef TORVEL_SHA_EIGHT
#undef TORVEL_SHA_NEXT
#undef TORVEL_SHA_ROUND

  State[0] += A;
  State[1] += B;
  State[2] += C;
  State[3] += D;
  State[4] += E;
  State[5] += F;
  State[6] += G;
  State[7] += H;
}

void Sha256::update(std::span<const std::uint8_t> Data) {
  TotalBytes += Data.size();
  if (PendingSize > 0) {
    const std::size_t Take = std::min(Data.size(), Pending.size() - PendingSize);
    std::copy_n(Data.begin(), Take, Pending.begin() + std::ptrdiff_t(PendingSize));
    PendingSize += Take;
    Data = Data.subspan(Take);
    if (PendingSize < Pending.size())
      return;
    compress(Pending.data());
    PendingSize = 0;
  }
  while (Data.size() >= 64) {
    compress(Data.data());
    Data = Data.subspan(64);
  }
  std::copy(Data.begin(), Data.end(), Pending.begin());
  PendingSize = Data.size();
}

Sha256Digest Sha256::finish() {
  const std::uint64_t Bits = TotalBytes * 8;
  std::uint8_t Tail[72] = {0x80};
  // Pad to 56 bytes past a block boundary, then the length in bits.
  const std::size_t PadSize = (PendingSize < 56 ? 56 : 120) - PendingSize;
  for (int I = 0; I < 8; ++I)
    Tail[PadSize + std::size_t(I)] =
        static_cast<std::uint8_t>(Bits >> (56 - 8 * I));
  update(std::span(Tail, PadSize + 8));
  Sha256Digest Digest;
  for (std::size_t I = 0; I < 8; ++I)
    for (std::size_t J = 0; J < 4; ++J)
      Digest[4 * I + J] = static_cast<std::uint8_t>(State[I] >> (24 - 8 * J));
  return Digest;
}

std::optional<Sha256Digest> sha256Of(ByteSource &Source) {
  constexpr std::size_t Piece = 1 << 20;
  Sha256 Hash;
  std::vector<std::uint8_t> Chunk(Piece);
  const std::uint64_t Size = Source.size();
  for (std::uint64_t At = 0; At < Size;) {
    const std::size_t Want =
        static_cast<std::size_t>(std::min<std::uint64_t>(Piece, Size - At));
    if (Source.readAt(At, std::span(Chunk).first(Want)) != Want)
      return std::nullopt;
    Hash.update(std::span(Chunk).first(Want));
    At += Want;
  }
  return Hash.finish();
}

} // namespace torvel

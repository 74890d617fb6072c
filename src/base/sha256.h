// SHA-256 (FIPS 180-4) over bytes fed in pieces, so that a dump of any size
// is hashed in a fixed amount of memory.
#ifndef TORVEL_BASE_SHA256_H
#define TORVEL_BASE_SHA256_H

#include "base/byte_source.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace torvel {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
  Sha256();

  // Adds Data to the bytes hashed so far.
  void update(std::span<const std::uint8_t> Data);

  // The digest of every byte given; the object is then spent.
  Sha256Digest finish();

private:
  void compress(const std::uint8_t *Block);

  std::array<std::uint32_t, 8> State;
  std::array<std::uint8_t, 64> Pending{};
  std::size_t PendingSize = 0;
  std::uint64_t TotalBytes = 0;
};


// The digest of every byte of Source, read in pieces; nothing when it
// gives fewer bytes than it holds.
std::optional<Sha256Digest> sha256Of(ByteSource &Source);

} // namespace torvel

#endif

// Bytes read by position: an open file, or bytes already in memory. The
// readers of dumps, pictures and patches work on either.
#ifndef TORVEL_BASE_BYTE_SOURCE_H
#define TORVEL_BASE_BYTE_SOURCE_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace torvel {

class ByteSource {
public:
  virtual ~ByteSource() = default;

  // The number of bytes the source holds.
  virtual std::uint64_t size() const = 0;

  // Reads up to Buffer.size() bytes at Offset; returns how many arrived.
  // Fewer than asked means the end of the source (or a read error).
  virtual std::size_t readAt(std::uint64_t Offset,
                             std::span<std::uint8_t> Buffer) = 0;
};

// Bytes the caller keeps alive for as long as the source is used.
class MemorySource : public ByteSource {
public:
  explicit MemorySource(std::span<const std::uint8_t> Data) : Bytes(Data) {}

  std::uint64_t size() const override { return Bytes.size(); }

  std::size_t readAt(std::uint64_t Offset,
                     std::span<std::uint8_t> Buffer) override {
    if (Offset >= Bytes.size())
      return 0;
    const std::size_t N = std::min<std::size_t>(
        Buffer.size(), Bytes.size() - static_cast<std::size_t>(Offset));
    std::copy_n(Bytes.begin() + static_cast<std::ptrdiff_t>(Offset), N,
                Buffer.begin());
    return N;
  }

private:
  std::span<const std::uint8_t> Bytes;
};

} // namespace torvel

#endif

// ByteReader: bounds-checked little-endian reads over bytes taken from a file.
#ifndef TORVEL_PICTURE_BYTE_READER_H
#define TORVEL_PICTURE_BYTE_READER_H

#include <cstddef>
#include <cstdint>
#include <span>

namespace torvel {

// A read past the end yields 0 and marks the reader failed for good, so a
// parser can read a group of fields and check failed() once afterwards.
class ByteReader {
public:
  explicit ByteReader(std::span<const std::uint8_t> Bytes) : Data(Bytes) {}

  std::uint16_t readU16Le() {
    const std::uint8_t *B = take(2);
    return B ? static_cast<std::uint16_t>(B[0] | B[1] << 8) : 0;
  }

  std::uint32_t readU32Le() {
    const std::uint8_t *B = take(4);
    return B ? std::uint32_t(B[0]) | std::uint32_t(B[1]) << 8 |
                   std::uint32_t(B[2]) << 16 | std::uint32_t(B[3]) << 24
             : 0;
  }

  // Two's complement, as C++20 defines the conversion.
  std::int32_t readS32Le() { return static_cast<std::int32_t>(readU32Le()); }

  void skip(std::size_t N) { take(N); }

  // Moves to an absolute position; beyond the end fails.
  void seek(std::size_t NewPos) {
    if (Failed || NewPos > Data.size()) {
      Failed = true;
      return;
    }
    Pos = NewPos;
  }

  bool failed() const { return Failed; }

private:
  // The next N bytes, or null (and failed from now on) when they are missing.
  const std::uint8_t *take(std::size_t N) {
    if (Failed || Data.size() - Pos < N) {
      Failed = true;
      return nullptr;
    }
    const std::uint8_t *B = Data.data() + Pos;
    Pos += N;
    return B;
  }

  std::span<const std::uint8_t> Data;
  std::size_t Pos = 0;
  bool Failed = false;
};

} // namespace torvel

#endif

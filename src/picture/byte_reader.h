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

  std::uint8_t readU8() {
    if (Failed || Data.size() - Pos < 1) {
      Failed = true;
      return 0;
    }
    return Data[Pos++];
  }

  std::uint16_t readU16Le() {
    if (Failed || Data.size() - Pos < 2) {
      Failed = true;
      return 0;
    }
    const std::uint8_t *B = Data.data() + Pos;
    Pos += 2;
    return static_cast<std::uint16_t>(B[0] | B[1] << 8);
  }

  std::uint32_t readU32Le() {
    if (Failed || Data.size() - Pos < 4) {
      Failed = true;
      return 0;
    }
    const std::uint8_t *B = Data.data() + Pos;
    Pos += 4;
    return std::uint32_t(B[0]) | std::uint32_t(B[1]) << 8 |
           std::uint32_t(B[2]) << 16 | std::uint32_t(B[3]) << 24;
  }

  // Two's complement, as C++20 defines the conversion.
  std::int32_t readS32Le() { return static_cast<std::int32_t>(readU32Le()); }

  void skip(std::size_t N) {
    if (Failed || Data.size() - Pos < N) {
      Failed = true;
      return;
    }
    Pos += N;
  }

  // Moves to an absolute position; beyond the end fails.
  void seek(std::size_t NewPos) {
    if (Failed || NewPos > Data.size()) {
      Failed = true;
      return;
    }
    Pos = NewPos;
  }

  std::size_t position() const { return Pos; }
  bool failed() const { return Failed; }

private:
  std::span<const std::uint8_t> Data;
  std::size_t Pos = 0;
  bool Failed = false;
};

} // namespace torvel

#endif

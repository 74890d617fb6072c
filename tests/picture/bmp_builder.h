// BmpBuilder: BMP files assembled field by field for tests, hostile values
// included. Colours are colour values (red in bits 0-7, blue in 16-23).
#ifndef TORVEL_TESTS_PICTURE_BMP_BUILDER_H
#define TORVEL_TESTS_PICTURE_BMP_BUILDER_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvel::test {

struct BmpBuilder {
  // 12 writes a core header (16-bit sizes, 3-byte table entries), 40 an info header.
  std::uint32_t HeaderSize = 40;
  std::int32_t Width = 1;
  std::int32_t Height = 1;
  std::uint16_t BitCount = 24;
  std::uint32_t Compression = 0;
  std::uint32_t ImageSize = 0;
  // By default the table's size.
  std::optional<std::uint32_t> ColoursUsed{};
  std::vector<std::uint32_t> Table{};
  // Red, green, blue, after the header.
  std::optional<std::array<std::uint32_t, 3>> Masks{};
  // Filler bytes between the colour table and the pixel data.
  std::uint32_t Gap = 0;
  // The stored pixel-data offset; by default where the pixel data begin.
  std::optional<std::uint32_t> PixelOffset{};
  std::vector<std::uint8_t> Pixels{};

  // Appends one stored row, padded with zeros to a multiple of 4 bytes.
  BmpBuilder &row(std::vector<std::uint8_t> Bytes) {
    Bytes.resize((Bytes.size() + 3) / 4 * 4);
    Pixels.insert(Pixels.end(), Bytes.begin(), Bytes.end());
    return *this;
  }

  // The whole file.
  std::string build() const {
    std::string Out;
    auto Put = [&Out](std::uint64_t V, int Bytes) {
      for (int I = 0; I < Bytes; ++I)
        Out += static_cast<char>(V >> (8 * I));
    };
    const bool Core = HeaderSize == 12;
    const std::size_t DataStart =
        14 + HeaderSize + (Masks ? 12 : 0) + Table.size() * (Core ? 3 : 4) + Gap;
    Put('B' | 'M' << 8, 2);
    Put(DataStart + Pixels.size(), 4);
    Put(0, 4);
    Put(PixelOffset.value_or(static_cast<std::uint32_t>(DataStart)), 4);
    Put(HeaderSize, 4);
    Put(static_cast<std::uint32_t>(Width), Core ? 2 : 4);
    Put(static_cast<std::uint32_t>(Height), Core ? 2 : 4);
    Put(1u | std::uint32_t(BitCount) << 16, 4);
    if (!Core)
      for (std::uint32_t V : {Compression, ImageSize, 2835u, 2835u,
                              ColoursUsed.value_or(std::uint32_t(Table.size())), 0u})
        Put(V, 4);
    for (std::uint32_t M : Masks.value_or(std::array<std::uint32_t, 3>{}))
      Put(M, Masks ? 4 : 0);
    for (std::uint32_t C : Table)
      Put((C >> 16 & 0xFF) | (C & 0xFF00) | (C & 0xFF) << 16, Core ? 3 : 4);
    Out.resize(DataStart, '\xEE');
    Out.insert(Out.end(), Pixels.begin(), Pixels.end());
    return Out;
  }
};

} // namespace torvel::test

#endif

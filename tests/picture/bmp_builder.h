// BmpBuilder: BMP files assembled field by field for tests, hostile values
// included. Colours are colour values (red in bits 0-7, blue in 16-23).
#ifndef TORVEL_TESTS_PICTURE_BMP_BUILDER_H
#define TORVEL_TESTS_PICTURE_BMP_BUILDER_H

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace torvel::test {

struct BmpBuilder {
  // 12 writes a core header (16-bit width and height, 3-byte table entries);
  // anything else an info header of that many bytes, or of 40 bytes when
  // more than 4096 are declared (the file then ends inside its header).
  std::uint32_t HeaderSize = 40;
  std::int32_t Width = 1;
  std::int32_t Height = 1;
  std::uint16_t Planes = 1;
  std::uint16_t BitCount = 24;
  std::uint32_t Compression = 0;
  std::uint32_t ImageSize = 0;
  // By default the table's size.
  std::optional<std::uint32_t> ColoursUsed{};
  std::vector<std::uint32_t> Table{};
  // Red, green, blue: after a 40-byte header, else in header bytes 40..51.
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
  std::vector<std::uint8_t> build() const {
    std::vector<std::uint8_t> Out;
    auto Put = [&Out](std::uint64_t V, int Bytes) {
      for (int I = 0; I < Bytes; ++I)
        Out.push_back(static_cast<std::uint8_t>(V >> (8 * I)));
    };
    const bool Core = HeaderSize == 12;
    const bool MasksAfter = Masks && HeaderSize == 40;
    const std::size_t TableEnd = 14 + (HeaderSize > 4096 ? 40 : HeaderSize) +
                                 (MasksAfter ? 12 : 0) +
                                 Table.size() * (Core ? 3 : 4);
    const std::size_t DataStart = TableEnd + Gap;
    Put('B', 1);
    Put('M', 1);
    Put(DataStart + Pixels.size(), 4);
    Put(0, 4);
    Put(PixelOffset.value_or(static_cast<std::uint32_t>(DataStart)), 4);
    Put(HeaderSize, 4);
    if (Core) {
      Put(static_cast<std::uint32_t>(Width), 2);
      Put(static_cast<std::uint32_t>(Height), 2);
      Put(Planes, 2);
      Put(BitCount, 2);
    } else {
      const std::size_t HeaderEnd =
          Out.size() - 4 + (HeaderSize > 4096 ? 40 : HeaderSize);
      for (std::uint32_t V :
           {static_cast<std::uint32_t>(Width), static_cast<std::uint32_t>(Height),
            std::uint32_t(Planes) | std::uint32_t(BitCount) << 16, Compression,
            ImageSize, 2835u, 2835u,
            ColoursUsed.value_or(static_cast<std::uint32_t>(Table.size())), 0u})
        Put(V, 4);
      if (Masks && HeaderSize >= 52)
        for (std::uint32_t M : *Masks)
          Put(M, 4);
      Out.resize(HeaderEnd, 0);
    }
    if (MasksAfter)
      for (std::uint32_t M : *Masks)
        Put(M, 4);
    for (std::uint32_t C : Table) {
      Put(C >> 16 & 0xFF, 1);
      Put(C >> 8 & 0xFF, 1);
      Put(C & 0xFF, 1);
      if (!Core)
        Put(0, 1);
    }
    Out.resize(DataStart, 0xEE);
    Out.insert(Out.end(), Pixels.begin(), Pixels.end());
    return Out;
  }
};

} // namespace torvel::test

#endif

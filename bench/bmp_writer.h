// BMP files for the benchmarks: headers, colour tables, stored rows and
// run-length rows, plus the test picture that every input shows.
#ifndef TORVEL_BENCH_BMP_WRITER_H
#define TORVEL_BENCH_BMP_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvel::bench {

inline constexpr std::uint32_t CompressionPlain = 0;
inline constexpr std::uint32_t CompressionRle8 = 1;
inline constexpr std::uint32_t CompressionRle4 = 2;
inline constexpr std::uint32_t CompressionBitFields = 3;

struct BmpFormat {
  std::int32_t Width = 0;
  std::int32_t Height = 0; // negative: rows stored top-down
  std::uint16_t BitCount = 24;
  std::uint32_t Compression = CompressionPlain;
  std::vector<std::uint32_t> Masks; // bit fields: red, green, blue
  std::vector<std::uint32_t> Table; // colours as 0xRRGGBB
};

// Bytes per stored row of an uncompressed picture.
inline std::uint64_t strideOf(const BmpFormat &F) {
  return (std::uint64_t(F.Width) * F.BitCount + 31) / 32 * 4;
}

inline void putLe(std::vector<std::uint8_t> &Out, std::uint64_t Value,
                  int Bytes) {
  for (int I = 0; I < Bytes; ++I)
    Out.push_back(static_cast<std::uint8_t>(Value >> (8 * I)));
}

// File header, 40-byte info header, masks (bit fields only) and colour table,
// for DataSize bytes of pixel data that follow directly.
inline std::vector<std::uint8_t> bmpHeaders(const BmpFormat &F,
                                            std::uint64_t DataSize) {
  const std::uint64_t Extra =
      (F.Compression == CompressionBitFields ? 12 : 0) + 4 * F.Table.size();
  const std::uint64_t DataStart = 14 + 40 + Extra;
  std::vector<std::uint8_t> Out{'B', 'M'};
  putLe(Out, DataStart + DataSize, 4);
  putLe(Out, 0, 4);
  putLe(Out, DataStart, 4);
  putLe(Out, 40, 4);
  putLe(Out, static_cast<std::uint32_t>(F.Width), 4);
  putLe(Out, static_cast<std::uint32_t>(F.Height), 4);
  putLe(Out, 1, 2);
  putLe(Out, F.BitCount, 2);
  putLe(Out, F.Compression, 4);
  putLe(Out, DataSize, 4);
  putLe(Out, 2835, 4); // 72 dpi
  putLe(Out, 2835, 4);
  putLe(Out, F.Table.size(), 4);
  putLe(Out, 0, 4);
  if (F.Compression == CompressionBitFields)
    for (std::uint32_t Mask : F.Masks)
      putLe(Out, Mask, 4);
  for (std::uint32_t Colour : F.Table)
    putLe(Out, Colour, 4); // blue, green, red, 0
  return Out;
}

// Stores Value (a colour index or a packed pixel) as pixel X of Row.
inline void putPixel(std::vector<std::uint8_t> &Row, std::uint16_t BitCount,
                     std::size_t X, std::uint32_t Value) {
  switch (BitCount) {
  case 1:
  case 4: {
    const std::size_t PerByte = 8u / BitCount;
    const unsigned Shift =
        static_cast<unsigned>(8 - BitCount * (X % PerByte + 1));
    const unsigned Mask = ((1u << BitCount) - 1) << Shift;
    std::uint8_t &B = Row[X / PerByte];
    B = static_cast<std::uint8_t>((B & ~Mask) | ((Value << Shift) & Mask));
    return;
  }
  default:
    for (std::size_t I = 0; I < BitCount / 8u; ++I)
      Row[X * (BitCount / 8u) + I] = static_cast<std::uint8_t>(Value >> (8 * I));
  }
}

// Appends one row of colour indices in run-length form (8 or 4 bits per
// pixel): runs of three or more equal pixels as encoded runs, the rest as
// absolute runs; ends the row with the end-of-line code.
inline void appendRleRow(std::vector<std::uint8_t> &Out,
                         const std::vector<std::uint8_t> &Indices,
                         unsigned BitCount) {
  const std::size_t N = Indices.size();
  auto RunAt = [&](std::size_t X) {
    std::size_t R = 1;
    while (X + R < N && R < 255 && Indices[X + R] == Indices[X])
      ++R;
    return R;
  };
  auto Encoded = [&](std::size_t Count, std::uint8_t Index) {
    Out.push_back(static_cast<std::uint8_t>(Count));
    Out.push_back(BitCount == 8 ? Index
                                : static_cast<std::uint8_t>(Index << 4 | Index));
  };
  std::size_t X = 0;
  while (X < N) {
    const std::size_t Run = RunAt(X);
    if (Run >= 3) {
      Encoded(Run, Indices[X]);
      X += Run;
      continue;
    }
    std::size_t End = X;
    while (End < N && End - X < 254 && RunAt(End) < 3)
      ++End;
    const std::size_t Count = End - X;
    if (Count < 3) {
      // Absolute runs need at least three pixels.
      for (; X < End; ++X)
        Encoded(1, Indices[X]);
      continue;
    }
    Out.push_back(0);
    Out.push_back(static_cast<std::uint8_t>(Count));
    std::size_t Bytes = 0;
    for (std::size_t I = 0; I < Count; ++I) {
      if (BitCount == 8) {
        Out.push_back(Indices[X + I]);
        ++Bytes;
      } else if (I % 2 == 0) {
        Out.push_back(static_cast<std::uint8_t>(Indices[X + I] << 4));
        ++Bytes;
      } else {
        Out.back() = static_cast<std::uint8_t>(Out.back() | Indices[X + I]);
      }
    }
    if (Bytes % 2 == 1)
      Out.push_back(0);
    X = End;
  }
  Out.push_back(0);
  Out.push_back(0);
}

// The test picture: blocks of ink crossed by thin diagonal lines, so that
// every row within 256 differs from its neighbours.
inline bool isInk(std::uint32_t X, std::uint32_t Y) {
  return (((X >> 3) + (Y >> 3)) % 3 == 0) != ((X * 7 + Y * 13) % 29 == 0);
}

// The colour of a paper pixel, never black; some are nearly black.
inline std::uint32_t paperColour(std::uint32_t X, std::uint32_t Y) {
  if ((X + Y) % 11 == 0)
    return 0x000001;
  return (X * 5 & 0xFF) << 16 | (Y * 3 & 0xFF) << 8 | 0x40;
}

// A 16-colour table for indexed pictures: 0 black, 1 white, the rest paper
// colours (15 nearly black).
inline std::vector<std::uint32_t> sixteenColours() {
  std::vector<std::uint32_t> Table{0x000000, 0xFFFFFF};
  for (std::uint32_t I = 2; I < 15; ++I)
    Table.push_back(I * 0x111111 ^ 0x203040);
  Table.push_back(0x010000);
  return Table;
}

// The colour index of pixel (X, Y) in the 16-colour table: literal-looking
// detail, with a run of 16 equal pixels in every 256.
inline std::uint8_t indexedPixel(std::uint32_t X, std::uint32_t Y) {
  if (X % 256 >= 240)
    return (Y >> 3) % 2 == 0 ? 0 : 1;
  if (isInk(X, Y))
    return 0;
  return static_cast<std::uint8_t>(1 + (X * 7 + Y * 5) % 15);
}

} // namespace torvel::bench

#endif

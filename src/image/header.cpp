#include "image/header.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace torvel {

namespace {

// More than any header needs before the size; JPEG segments are skipped.
constexpr std::size_t HeadBytes = 64;

std::uint32_t be16(const std::uint8_t *B) { return std::uint32_t(B[0]) << 8 | B[1]; }
std::uint32_t be32(const std::uint8_t *B) { return be16(B) << 16 | be16(B + 2); }
std::uint32_t le16(const std::uint8_t *B) { return std::uint32_t(B[1]) << 8 | B[0]; }

// Walks the segments before the first frame header.
std::optional<ImageSize> jpegSize(ByteSource &Source) {
  std::uint64_t Pos = 2;
  std::array<std::uint8_t, 9> Segment{};
  // Each segment costs one read; a file of empty ones ends this soon enough.
  for (int Segments = 0; Segments < 100000; ++Segments) {
    if (Source.readAt(Pos, std::span(Segment).first(2)) != 2 || Segment[0] != 0xFF)
      return std::nullopt;
    const std::uint8_t Marker = Segment[1];
    if (Marker == 0xFF) { // fill byte
      ++Pos;
      continue;
    }
    if (Marker == 0xD9 || Marker == 0xDA) // no frame before the image data
      return std::nullopt;
    if ((Marker >= 0xD0 && Marker <= 0xD8) || Marker == 0x01) {
      Pos += 2;
      continue;
    }
    if (Source.readAt(Pos, Segment) != Segment.size())
      return std::nullopt;
    const bool Frame = Marker >= 0xC0 && Marker <= 0xCF && Marker != 0xC4 &&
                       Marker != 0xC8 && Marker != 0xCC;
    if (Frame)
      return ImageSize{be16(&Segment[7]), be16(&Segment[5])};
    Pos += 2 + be16(&Segment[2]);
  }
  return std::nullopt;
}

// Sequential reads through a buffer.
class Stream {
public:
  explicit Stream(ByteSource &S) : Source(S) {}

  // False at the end of the file.
  bool next(std::uint8_t &Byte) {
    if (Pos == Got) {
      Start += Got;
      Pos = 0;
      Got = Source.readAt(Start, Buffer);
      if (Got == 0)
        return false;
    }
    Byte = Buffer[Pos++];
    return true;
  }

  bool skip(std::uint32_t Count) {
    std::uint8_t Byte;
    for (; Count > 0; --Count)
      if (!next(Byte))
        return false;
    return true;
  }

private:
  ByteSource &Source;
  std::array<std::uint8_t, 4096> Buffer{};
  std::uint64_t Start = 0;
  std::size_t Pos = 0;
  std::size_t Got = 0;
};

} // namespace

bool jpegTablesFit(ByteSource &Source) {
  Stream In(Source);
  std::uint8_t Byte = 0;
  // A file that ends early is for the decoder to refuse.
  while (true) {
    if (!In.next(Byte))
      return true;
    if (Byte != 0xFF)
      continue; // entropy-coded data, or junk, between segments
    std::uint8_t Marker;
    do
      if (!In.next(Marker))
        return true;
    while (Marker == 0xFF);
    if (Marker == 0 || (Marker >= 0xD0 && Marker <= 0xD9) || Marker == 0x01)
      continue;
    std::uint8_t High, Low;
    if (!In.next(High) || !In.next(Low))
      return true;
    const std::uint32_t Length = std::uint32_t(High) << 8 | Low;
    if (Marker != 0xC4) {
      if (Length < 2 || !In.skip(Length - 2))
        return true;
      continue;
    }
    // Tables, read as stb_image reads them, past the segment's end and the
    // file's (as zeros) too: a class and number byte, 16 counts, the codes.
    for (std::int64_t Left = std::int64_t(Length) - 2; Left > 0;) {
      std::uint32_t Codes = 0;
      In.skip(1);
      for (int I = 0; I < 16; ++I) {
        std::uint8_t Count = 0;
        In.next(Count);
        Codes += Count;
      }
      if (Codes > 256)
        return false;
      if (!In.skip(Codes))
        return true;
      Left -= 17 + std::int64_t(Codes);
    }
  }
}

namespace {

struct PnmHeader {
  bool Fits = true;              // no number has more than 9 digits
  std::optional<ImageSize> Size; // when width and height are there
};

// The kind, then width, height and largest value, each after white space
// and comments, as stb_image reads them.
PnmHeader readPnmHeader(ByteSource &Source) {
  PnmHeader Header;
  Stream In(Source);
  std::uint8_t C = 0;
  std::array<std::uint32_t, 3> Values{};
  if (!In.skip(2) || !In.next(C))
    return Header;
  for (int Number = 0; Number < 3; ++Number) {
    while (true) {
      while (std::strchr(" \t\n\v\f\r", C) && C != 0)
        if (!In.next(C))
          return Header;
      if (C != '#')
        break;
      while (C != '\n' && C != '\r')
        if (!In.next(C))
          return Header;
    }
    bool More = true;
    int Digits = 0;
    for (; More && C >= '0' && C <= '9'; ++Digits) {
      if (Digits == 9) {
        Header.Fits = false;
        return Header;
      }
      Values[std::size_t(Number)] = Values[std::size_t(Number)] * 10 + std::uint32_t(C - '0');
      More = In.next(C);
    }
    if (Digits == 0)
      return Header;
    if (Number == 1)
      Header.Size = ImageSize{Values[0], Values[1]};
    if (!More)
      return Header;
  }
  return Header;
}

} // namespace

bool pnmNumbersFit(ByteSource &Source) { return readPnmHeader(Source).Fits; }

ImageKind sniffImage(std::span<const std::uint8_t> Head) {
  auto starts = [&](const char *Text, std::size_t N) {
    return Head.size() >= N && std::memcmp(Head.data(), Text, N) == 0;
  };
  if (starts("\x89PNG\r\n\x1A\n", 8))
    return ImageKind::Png;
  if (starts("\xFF\xD8", 2))
    return ImageKind::Jpeg;
  if (starts("GIF87a", 6) || starts("GIF89a", 6))
    return ImageKind::Gif;
  if (starts("BM", 2))
    return ImageKind::Bmp;
  if (starts("P5", 2) || starts("P6", 2))
    return ImageKind::Pnm;
  if (Head.size() >= 2 && Head[0] == 'P' && Head[1] != 0 &&
      std::strchr("12347", Head[1]))
    return ImageKind::OtherPnm;
  return ImageKind::Unknown;
}

const char *kindName(ImageKind Kind) {
  switch (Kind) {
  case ImageKind::Png:
    return "PNG";
  case ImageKind::Jpeg:
    return "JPEG";
  case ImageKind::Gif:
    return "GIF";
  case ImageKind::Bmp:
    return "BMP";
  case ImageKind::Pnm:
  case ImageKind::OtherPnm:
    return "PNM";
  case ImageKind::Unknown:
    break;
  }
  return "image";
}

std::optional<ImageSize> claimedSize(ImageKind Kind, ByteSource &Source) {
  std::array<std::uint8_t, HeadBytes> Head{};
  const std::span<const std::uint8_t> Got =
      std::span(Head).first(Source.readAt(0, Head));
  switch (Kind) {
  case ImageKind::Png:
    if (Got.size() >= 24)
      return ImageSize{be32(&Got[16]), be32(&Got[20])};
    break;
  case ImageKind::Gif:
    if (Got.size() >= 10)
      return ImageSize{le16(&Got[6]), le16(&Got[8])};
    break;
  case ImageKind::Jpeg:
    return jpegSize(Source);
  case ImageKind::Pnm:
    return readPnmHeader(Source).Size;
  default:
    break;
  }
  return std::nullopt;
}

} // namespace torvel

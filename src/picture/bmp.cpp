#include "picture/bmp.h"

#include "base/platform.h"
#include "picture/byte_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <span>

namespace torvel {

namespace {

const char *const StreamReadError = "Stream read error";
const char *const NotValid = "Bitmap image is not valid";

constexpr std::uint32_t CompressionPlain = 0;
constexpr std::uint32_t CompressionRle8 = 1;
constexpr std::uint32_t CompressionRle4 = 2;
constexpr std::uint32_t CompressionBitFields = 3;

constexpr std::uint64_t FileHeaderSize = 14;
constexpr std::uint32_t CoreHeaderSize = 12;
constexpr std::uint32_t InfoHeaderSize = 40;
// Masks sit in header bytes 40..51 of the larger headers.
constexpr std::uint32_t MaskedHeaderSize = 52;
constexpr std::size_t TableCapacity = 256;
constexpr std::size_t RleBufferSize = 64 * 1024;

// One colour component of a bit-field pixel.
struct Channel {
  std::uint32_t Mask = 0;
  int Shift = 0;
  int Bits = 0;
};

Channel makeChannel(std::uint32_t Mask) {
  Channel C;
  C.Mask = Mask;
  if (Mask == 0)
    return C;
  C.Shift = std::countr_zero(Mask);
  C.Bits = static_cast<int>(std::bit_width(Mask >> C.Shift));
  return C;
}

std::uint32_t scaleComponent(std::uint32_t Value, const Channel &C) {
  if (C.Bits == 0 || Value == 0)
    return 0;
  if (C.Bits > 8) {
    // Dropping low bits must not make a dark colour black.
    return std::max<std::uint32_t>(Value >> (C.Bits - 8), 1);
  }
  const std::uint32_t Max = (std::uint32_t(1) << C.Bits) - 1;
  return (Value * 255 + Max / 2) / Max;
}

std::uint32_t componentOf(std::uint32_t Pixel, const Channel &C) {
  return scaleComponent((Pixel & C.Mask) >> C.Shift, C);
}

std::uint32_t rgb(std::uint32_t Red, std::uint32_t Green,
                  std::uint32_t Blue) {
  return Red | Green << 8 | Blue << 16;
}

// What the headers say about the picture and where its pixels lie.
struct Format {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0; // absolute
  bool TopDown = false;
  std::uint32_t BitCount = 0;
  std::uint32_t Compression = 0;
  std::array<Channel, 3> Channels{}; // red, green, blue
  std::array<std::uint32_t, TableCapacity> Table{};
  std::uint64_t Stride = 0;
  std::uint64_t DataStart = 0;
  std::uint64_t DataSize = 0;

  bool isRunLength() const {
    return Compression == CompressionRle8 || Compression == CompressionRle4;
  }
};

bool bitCountFits(std::uint32_t BitCount, std::uint32_t Compression) {
  switch (Compression) {
  case CompressionPlain:
    return BitCount == 1 || BitCount == 4 || BitCount == 8 || BitCount == 16 ||
           BitCount == 24 || BitCount == 32;
  case CompressionBitFields:
    return BitCount == 16 || BitCount == 32;
  case CompressionRle8:
    return BitCount == 8;
  case CompressionRle4:
    return BitCount == 4;
  default:
    return false;
  }
}

// Reads and checks the headers, masks and colour table of a non-empty file.
std::optional<Format> readFormat(ByteSource &F, std::string &Reason) {
  const std::uint64_t Length = F.size();
  // The file header plus the part of the info header that we interpret.
  std::array<std::uint8_t, FileHeaderSize + MaskedHeaderSize> Head{};
  const std::size_t HeadLength =
      static_cast<std::size_t>(std::min<std::uint64_t>(Length, Head.size()));
  if (Length < FileHeaderSize ||
      F.readAt(0, std::span(Head).first(HeadLength)) != HeadLength) {
    Reason = StreamReadError;
    return std::nullopt;
  }
  if (Head[0] != 'B' || Head[1] != 'M') {
    Reason = NotValid;
    return std::nullopt;
  }

  ByteReader In{std::span(Head).first(HeadLength)};
  In.seek(10);
  const std::uint32_t PixelOffset = In.readU32Le();
  const std::uint32_t HeaderSize = In.readU32Le();
  if (In.failed()) {
    Reason = StreamReadError;
    return std::nullopt;
  }

  std::int64_t Width = 0;
  std::int64_t Height = 0;
  std::uint32_t Planes = 0;
  std::uint32_t BitCount = 0;
  std::uint32_t Compression = CompressionPlain;
  std::uint32_t ImageSize = 0;
  std::uint32_t ColoursUsed = 0;
  std::array<std::uint32_t, 3> Masks{};
  const bool Core = HeaderSize == CoreHeaderSize;
  if (!Core && HeaderSize < InfoHeaderSize) {
    Reason = NotValid;
    return std::nullopt;
  }
  if (HeaderSize > Length - FileHeaderSize) {
    Reason = StreamReadError;
    return std::nullopt;
  }
  if (Core) {
    Width = In.readU16Le();
    Height = In.readU16Le();
    Planes = In.readU16Le();
    BitCount = In.readU16Le();
  } else {
    Width = In.readS32Le();
    Height = In.readS32Le();
    Planes = In.readU16Le();
    BitCount = In.readU16Le();
    Compression = In.readU32Le();
    ImageSize = In.readU32Le();
    In.skip(8);
    ColoursUsed = In.readU32Le();
    if (HeaderSize >= MaskedHeaderSize) {
      In.skip(4);
      for (std::uint32_t &Mask : Masks)
        Mask = In.readU32Le();
    }
  }
  if (Planes != 1) {
    Reason = NotValid;
    return std::nullopt;
  }

  std::uint64_t Pos = FileHeaderSize + HeaderSize;
  if (HeaderSize == InfoHeaderSize && Compression == CompressionBitFields &&
      (BitCount == 16 || BitCount == 32)) {
    if (Length - Pos < 12) {
      Reason = StreamReadError;
      return std::nullopt;
    }
    In.seek(static_cast<std::size_t>(Pos));
    for (std::uint32_t &Mask : Masks)
      Mask = In.readU32Le();
    Pos += 12;
  }

  Format Fmt;
  std::uint64_t Entries = ColoursUsed;
  if (Entries == 0)
    Entries = BitCount == 1 ? 2 : BitCount == 4 ? 16 : BitCount == 8 ? 256 : 0;
  const std::uint64_t EntrySize = Core ? 3 : 4;
  if (Entries * EntrySize > Length - Pos) {
    Reason = StreamReadError;
    return std::nullopt;
  }
  // Entries past the capacity are skipped but still move the pixel data.
  std::array<std::uint8_t, TableCapacity * 4> RawTable{};
  const std::size_t Kept = static_cast<std::size_t>(
      std::min<std::uint64_t>(Entries, TableCapacity));
  const std::span<std::uint8_t> RawKept =
      std::span(RawTable).first(Kept * EntrySize);
  if (F.readAt(Pos, RawKept) != RawKept.size()) {
    Reason = StreamReadError;
    return std::nullopt;
  }
  for (std::size_t I = 0; I < Kept; ++I) {
    const std::uint8_t *E = RawTable.data() + I * EntrySize;
    Fmt.Table[I] = rgb(E[2], E[1], E[0]);
  }
  Pos += Entries * EntrySize;

  const std::uint64_t AbsHeight =
      static_cast<std::uint64_t>(Height < 0 ? -Height : Height);
  Fmt.Compression = Compression;
  Fmt.BitCount = BitCount;
  Fmt.TopDown = Height < 0;
  if (!bitCountFits(BitCount, Compression) || Width <= 0 || Height == 0 ||
      (Fmt.TopDown && Fmt.isRunLength())) {
    Reason = NotValid;
    return std::nullopt;
  }
  if (Compression == CompressionBitFields && HeaderSize > InfoHeaderSize &&
      HeaderSize < MaskedHeaderSize) {
    // The masks are neither inside the header nor after it.
    Reason = NotValid;
    return std::nullopt;
  }
  Fmt.Stride = (static_cast<std::uint64_t>(Width) * BitCount + 31) / 32 * 4;
  // No 32-bit size could describe the pixel store.
  if (Fmt.Stride > 0xFFFFFFFFu / AbsHeight) {
    Reason = NotValid;
    return std::nullopt;
  }
  Fmt.Width = static_cast<std::uint32_t>(Width);
  Fmt.Height = static_cast<std::uint32_t>(AbsHeight);
  for (std::size_t I = 0; I < Masks.size(); ++I)
    Fmt.Channels[I] = makeChannel(Masks[I]);

  // Writers may leave a gap before the pixel data; honour the offset then.
  if (PixelOffset >= Pos && PixelOffset < Length)
    Pos = PixelOffset;
  const std::uint64_t Wanted = ImageSize != 0 ? ImageSize : Fmt.Stride * AbsHeight;
  Fmt.DataStart = Pos;
  Fmt.DataSize = std::min(Length - Pos, Wanted);
  return Fmt;
}

std::uint32_t readLe(const std::uint8_t *B, std::size_t Bytes) {
  std::uint32_t V = 0;
  for (std::size_t I = Bytes; I > 0; --I)
    V = V << 8 | B[I - 1];
  return V;
}

// The colour of pixel X in a stored row of an uncompressed picture.
std::uint32_t plainColour(const Format &Fmt, const std::uint8_t *Row,
                          std::size_t X) {
  switch (Fmt.BitCount) {
  case 1:
    return Fmt.Table[(Row[X / 8] >> (7 - X % 8)) & 1];
  case 4:
    return Fmt.Table[(Row[X / 2] >> (X % 2 == 0 ? 4 : 0)) & 15];
  case 8:
    return Fmt.Table[Row[X]];
  case 24:
    return rgb(Row[3 * X + 2], Row[3 * X + 1], Row[3 * X]);
  default:
    break;
  }
  const std::size_t Bytes = Fmt.BitCount == 16 ? 2 : 4;
  const std::uint32_t V = readLe(Row + Bytes * X, Bytes);
  if (Fmt.Compression == CompressionBitFields)
    return rgb(componentOf(V, Fmt.Channels[0]),
               componentOf(V, Fmt.Channels[1]),
               componentOf(V, Fmt.Channels[2]));
  if (Fmt.BitCount == 32)
    return rgb(V >> 16 & 0xFF, V >> 8 & 0xFF, V & 0xFF);
  // 5-5-5 with bit 15 unused; widen each component by repeating its top bits.
  auto Widen = [](std::uint32_t C) { return C << 3 | C >> 2; };
  return rgb(Widen(V >> 10 & 31), Widen(V >> 5 & 31), Widen(V & 31));
}

// Reads only the kept rows, and of each only the bytes of the kept columns.
bool decodePlain(ByteSource &F, const Format &Fmt, std::size_t KeepWidth,
                 std::size_t KeepHeight, std::vector<std::uint32_t> &Out) {
  const std::uint64_t RowBytes =
      (static_cast<std::uint64_t>(KeepWidth) * Fmt.BitCount + 7) / 8;
  std::vector<std::uint8_t> Row(static_cast<std::size_t>(RowBytes));
  for (std::size_t Y = 0; Y < KeepHeight; ++Y) {
    const std::uint64_t Stored = Fmt.TopDown ? Y : Fmt.Height - 1 - Y;
    const std::uint64_t Offset = Stored * Fmt.Stride;
    std::fill(Row.begin(), Row.end(), std::uint8_t(0));
    if (Offset < Fmt.DataSize) {
      const std::size_t Want = static_cast<std::size_t>(
          std::min(RowBytes, Fmt.DataSize - Offset));
      if (F.readAt(Fmt.DataStart + Offset, std::span(Row).first(Want)) != Want)
        return false;
    }
    for (std::size_t X = 0; X < KeepWidth; ++X)
      Out[Y * KeepWidth + X] = plainColour(Fmt, Row.data(), X);
  }
  return true;
}

// Sequential reads of the pixel data through a fixed buffer.
class DataStream {
public:
  DataStream(ByteSource &In, std::uint64_t Start, std::uint64_t Size)
      : F(In), Next(Start), Left(Size), Buffer(RleBufferSize) {}

  // False at the end of the data.
  bool next(std::uint8_t &B) {
    if (Pos == Filled && !refill())
      return false;
    B = Buffer[Pos++];
    return true;
  }

  // The next two bytes, straight from the buffer when both are there.
  bool nextPair(std::uint8_t &A, std::uint8_t &B) {
    if (Filled - Pos < 2)
      return next(A) && next(B);
    A = Buffer[Pos];
    B = Buffer[Pos + 1];
    Pos += 2;
    return true;
  }

  // Passes over Count bytes; false when the data end first.
  bool skip(std::uint64_t Count) {
    const std::uint64_t Buffered = Filled - Pos;
    if (Count <= Buffered) {
      Pos += static_cast<std::size_t>(Count);
      return true;
    }
    Count -= Buffered;
    Pos = Filled = 0;
    if (Count > Left) {
      Left = 0;
      return false;
    }
    Next += Count;
    Left -= Count;
    return true;
  }

private:
  bool refill() {
    const std::size_t Want = static_cast<std::size_t>(
        std::min<std::uint64_t>(Left, Buffer.size()));
    if (Want == 0)
      return false;
    Filled = F.readAt(Next, std::span(Buffer).first(Want));
    Pos = 0;
    Next += Filled;
    Left = Filled == Want ? Left - Filled : 0;
    return Filled != 0;
  }

  ByteSource &F;
  std::uint64_t Next;
  std::uint64_t Left;
  std::vector<std::uint8_t> Buffer;
  std::size_t Pos = 0;
  std::size_t Filled = 0;
};

// One pass over run-length data; rows are bottom-up, so the kept ones come
// last. Runs are clipped at the row's end rather than wrapped.
void decodeRunLength(ByteSource &F, const Format &Fmt, std::size_t KeepWidth,
                     std::size_t KeepHeight, std::vector<std::uint32_t> &Out) {
  std::fill(Out.begin(), Out.end(), Fmt.Table[0]);
  const bool Nibbles = Fmt.Compression == CompressionRle4;
  const std::uint64_t FirstKeptRow = Fmt.Height - KeepHeight;
  std::uint64_t X = 0;
  std::uint64_t Row = 0; // stored rows counted from the bottom
  auto Put = [&](std::uint8_t Index) {
    if (X < KeepWidth && Row >= FirstKeptRow)
      Out[static_cast<std::size_t>(Fmt.Height - 1 - Row) * KeepWidth +
          static_cast<std::size_t>(X)] = Fmt.Table[Index];
    ++X;
  };
  // Pixels past the kept columns change nothing but X.
  auto KeptRun = [&](std::uint64_t Count) {
    return X < KeepWidth && Row >= FirstKeptRow
               ? std::min<std::uint64_t>(Count, KeepWidth - X)
               : 0;
  };

  DataStream In(F, Fmt.DataStart, Fmt.DataSize);
  std::uint8_t First = 0;
  std::uint8_t Second = 0;
  while (Row < Fmt.Height && In.nextPair(First, Second)) {
    if (First != 0) {
      const std::uint64_t Shown = KeptRun(First);
      const std::uint64_t Skipped = First - Shown;
      for (std::uint64_t I = 0; I < Shown; ++I)
        Put(Nibbles ? (I % 2 == 0 ? Second >> 4 : Second & 15) : Second);
      X += Skipped;
      continue;
    }
    if (Second == 0) {
      X = 0;
      ++Row;
      continue;
    }
    if (Second == 1)
      break;
    if (Second == 2) {
      std::uint8_t Right = 0;
      std::uint8_t Up = 0;
      if (!In.next(Right) || !In.next(Up))
        break;
      X += Right;
      Row += Up;
      continue;
    }
    // An absolute run, padded to a 16-bit boundary.
    const std::size_t Bytes = Nibbles ? (Second + 1u) / 2 : Second;
    if (KeptRun(Second) == 0) {
      // Rows outside the region cost only the skip.
      X += Second;
      if (!In.skip(Bytes + Bytes % 2))
        break;
      continue;
    }
    std::uint8_t Byte = 0;
    bool Ended = false;
    for (std::size_t I = 0; I < Second && !Ended; ++I) {
      const bool HighHalf = I % 2 == 0;
      if (!Nibbles || HighHalf)
        Ended = !In.next(Byte);
      if (!Ended)
        Put(!Nibbles ? Byte : HighHalf ? Byte >> 4 : Byte & 15);
    }
    if (Ended || (Bytes % 2 == 1 && !In.next(Byte)))
      break;
  }
}

} // namespace

bool TBitmap::loadFromFile(const std::string &Name, std::int32_t KeepWidth,
                           std::int32_t KeepHeight, std::string &Reason) {
  *this = TBitmap();
  std::optional<File> F = File::openForReading(Name, File::Sharing::ReadOnly);
  if (!F) {
    Reason = "Cannot open file " + Name;
    return false;
  }
  return load(*F, KeepWidth, KeepHeight, Reason);
}

bool TBitmap::load(ByteSource &Source, std::int32_t KeepWidth,
                   std::int32_t KeepHeight, std::string &Reason) {
  *this = TBitmap();
  if (Source.size() == 0)
    return true;
  const std::optional<Format> Fmt = readFormat(Source, Reason);
  if (!Fmt)
    return false;

  const std::size_t KeptWidth = static_cast<std::size_t>(
      std::clamp<std::int64_t>(KeepWidth, 0, Fmt->Width));
  const std::size_t KeptHeight = static_cast<std::size_t>(
      std::clamp<std::int64_t>(KeepHeight, 0, Fmt->Height));
  std::vector<std::uint32_t> Pixels(KeptWidth * KeptHeight);
  if (Fmt->isRunLength()) {
    decodeRunLength(Source, *Fmt, KeptWidth, KeptHeight, Pixels);
  } else if (!decodePlain(Source, *Fmt, KeptWidth, KeptHeight, Pixels)) {
    Reason = StreamReadError;
    return false;
  }

  Width = static_cast<std::int32_t>(Fmt->Width);
  Height = static_cast<std::int32_t>(Fmt->Height);
  Region = std::move(Pixels);
  RegionPitch = RegionWidth = static_cast<std::int32_t>(KeptWidth);
  RegionHeight = static_cast<std::int32_t>(KeptHeight);
  // A new image is filled with all bits set: white, or the highest index.
  Fill = ColourWhite;
  if (!Fmt->isRunLength() && Fmt->BitCount <= 8)
    Fill = Fmt->Table[(std::size_t(1) << Fmt->BitCount) - 1];
  return true;
}

std::optional<BmpSize> readBmpSize(ByteSource &Source) {
  std::string Reason;
  const std::optional<Format> Fmt = readFormat(Source, Reason);
  if (!Fmt)
    return std::nullopt;
  return BmpSize{Fmt->Width, Fmt->Height};
}

void TBitmap::dropPixels() {
  Region.clear();
  RegionPitch = RegionWidth = RegionHeight = 0;
}

void TBitmap::setWidth(std::int32_t W) {
  if (W == Width)
    return;
  if (W == 0 || Height == 0)
    dropPixels();
  Width = W;
  RegionWidth = std::min(RegionWidth, W);
}

void TBitmap::setHeight(std::int32_t H) {
  if (H == Height)
    return;
  if (H == 0 || Width == 0)
    dropPixels();
  Height = H;
  RegionHeight = std::min(RegionHeight, H);
}

std::uint32_t TBitmap::pixel(std::int32_t X, std::int32_t Y) const {
  if (X < 0 || Y < 0 || X >= RegionWidth || Y >= RegionHeight)
    return Fill;
  return Region[static_cast<std::size_t>(Y) *
                    static_cast<std::size_t>(RegionPitch) +
                static_cast<std::size_t>(X)];
}

} // namespace torvel

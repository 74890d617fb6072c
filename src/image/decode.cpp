#include "image/decode.h"

#include "image/header.h"
#include "image/stb.h"
#include "picture/bmp.h"

#include <stb_image.h>

#include <array>
#include <memory>
#include <optional>

namespace torvel {

namespace {

// stb_image reads through these, so a file is never read whole.
struct Reader {
  explicit Reader(ByteSource &S) : Source(S) {}
  ByteSource &Source;
  std::uint64_t Pos = 0;
  // stb_image's own buffer, which its first read fills.
  const void *Buffer = nullptr;
  bool PastEnd = false; // the file ended inside data the decoder needs
  bool Failed = false;  // the system reported a read error
};

int readBytes(void *User, char *Data, int Size) {
  Reader &R = *static_cast<Reader *>(User);
  const std::uint64_t Length = R.Source.size();
  if (Size <= 0)
    return 0;
  if (R.Pos >= Length) {
    R.PastEnd = true;
    return 0;
  }
  if (!R.Buffer)
    R.Buffer = Data;
  const std::size_t Got = R.Source.readAt(
      R.Pos, {reinterpret_cast<std::uint8_t *>(Data), std::size_t(Size)});
  if (Got < std::size_t(Size) && Got < Length - R.Pos)
    R.Failed = true;
  // A short refill of its buffer is the end of the file as stb_image expects
  // it; a short read of pixel data is a file cut short, which some of its
  // decoders would not notice.
  if (Got < std::size_t(Size) && Data != R.Buffer)
    R.PastEnd = true;
  R.Pos += Got;
  return static_cast<int>(Got);
}

void skipBytes(void *User, int N) {
  Reader &R = *static_cast<Reader *>(User);
  if (N >= 0)
    R.Pos += std::uint64_t(N);
  else
    R.Pos -= std::min(R.Pos, std::uint64_t(-std::int64_t(N)));
}

int atEnd(void *User) {
  const Reader &R = *static_cast<const Reader *>(User);
  return R.Pos >= R.Source.size();
}

const stbi_io_callbacks Callbacks = {readBytes, skipBytes, atEnd};

const char *const UnreadBmp = "a BMP of a kind not read, or corrupt";

// What stb_image may hold at once for a picture of that many pixels: the
// largest need, a 16-bit interlaced PNG with alpha, takes 7 times its
// decoded size. A file that asks for more holds more data than it shows.
std::uint64_t budgetFor(std::uint64_t Pixels) {
  return Pixels * 4 * 8 + (std::uint64_t(4) << 20);
}

std::string tooLarge(std::uint64_t Width, std::uint64_t Height,
                     const DecodeLimits &Limits) {
  return std::to_string(Width) + " x " + std::to_string(Height) +
         " pixels is too large: at most " + std::to_string(Limits.MaxSide) +
         " on a side and " + std::to_string(Limits.MaxBytes >> 20) +
         " MiB decoded (4 bytes a pixel)";
}

bool withinLimits(std::uint64_t Width, std::uint64_t Height,
                  const DecodeLimits &Limits, std::string &Reason) {
  const auto Side = std::uint64_t(Limits.MaxSide);
  if (Width <= Side && Height <= Side && Width * Height * 4 <= Limits.MaxBytes)
    return true;
  Reason = tooLarge(Width, Height, Limits);
  return false;
}

std::string truncated(ImageKind Kind) {
  return std::string("truncated ") + kindName(Kind) +
         " (the file ends too soon)";
}

std::string corrupt(ImageKind Kind, const std::string &Why) {
  return std::string("corrupt ") + kindName(Kind) + " (" + Why + ")";
}

struct StbHeader {
  ImageSize Size;
  int Channels = 0;
};

// What stb_image finds in the header, or why it finds nothing.
std::optional<StbHeader> stbHeader(ByteSource &Source, ImageKind Kind,
                                   std::string &Reason) {
  Reader R(Source);
  int Width = 0;
  int Height = 0;
  int Channels = 0;
  if (stbi_info_from_callbacks(&Callbacks, &R, &Width, &Height, &Channels)) {
    if (Width > 0 && Height > 0 && Channels >= 1 && Channels <= 4)
      return StbHeader{{std::uint32_t(Width), std::uint32_t(Height)}, Channels};
    Reason = corrupt(Kind, "it has no pixels");
    return std::nullopt;
  }
  if (R.Failed)
    Reason = "read error";
  else if (R.PastEnd)
    Reason = truncated(Kind);
  else
    Reason = corrupt(Kind, "its header is not valid");
  return std::nullopt;
}

struct StbRelease {
  void operator()(stbi_uc *Pixels) const { stbi_image_free(Pixels); }
};

// Pixels of Channels (1 or 3) to RGBA.
RgbaImage widen(const stbi_uc *Pixels, std::int32_t Width,
                std::int32_t Height, int Channels) {
  RgbaImage Image = RgbaImage::allocate(Width, Height);
  if (Image.empty())
    return Image;
  std::uint8_t *Out = Image.pixels().data();
  for (std::size_t I = 0; I < std::size_t(Width) * std::size_t(Height); ++I, Out += 4) {
    const stbi_uc *In = Pixels + I * std::size_t(Channels);
    Out[0] = In[0];
    Out[1] = In[Channels == 3 ? 1 : 0];
    Out[2] = In[Channels == 3 ? 2 : 0];
    Out[3] = 255;
  }
  return Image;
}

RgbaImage stbDecode(ByteSource &Source, ImageKind Kind, const StbHeader &Header,
                    std::string &Reason) {
  StbBudget Budget(budgetFor(std::uint64_t(Header.Size.Width) * Header.Size.Height));
  // stb_image 2.27 turns 16-bit PNM samples into other channel counts as if
  // they were 8-bit, reading past its buffer: PNMs keep theirs.
  const int Wanted = Kind == ImageKind::Pnm ? Header.Channels : 4;
  Reader R(Source);
  int Width = 0;
  int Height = 0;
  int Channels = 0;
  std::unique_ptr<stbi_uc, StbRelease> Pixels(stbi_load_from_callbacks(
      &Callbacks, &R, &Width, &Height, &Channels, Wanted));
  if (Pixels && !R.PastEnd && !R.Failed && std::uint32_t(Width) == Header.Size.Width &&
      std::uint32_t(Height) == Header.Size.Height) {
    if (Wanted == 4)
      return RgbaImage(Width, Height, Pixels.release());
    if ((Wanted == 1 || Wanted == 3) && Channels == Wanted)
      if (RgbaImage Image = widen(Pixels.get(), Width, Height, Wanted); !Image.empty())
        return Image;
  }
  if (R.Failed)
    Reason = "read error";
  else if (R.PastEnd)
    Reason = truncated(Kind);
  else if (Budget.exceeded())
    Reason = corrupt(Kind, "it decodes to more data than its size holds");
  else if (!Pixels)
    Reason = corrupt(Kind, stbi_failure_reason());
  else
    Reason = corrupt(Kind, "its size changes");
  return {};
}

// A BMP as torvel reads it: every kind it converts imports too.
RgbaImage torvelDecode(ByteSource &Source, const DecodeLimits &Limits,
                       std::string &Reason) {
  const std::optional<BmpSize> Size = readBmpSize(Source);
  if (!Size) {
    Reason = UnreadBmp;
    return {};
  }
  if (!withinLimits(Size->Width, Size->Height, Limits, Reason))
    return {};
  const auto Width = static_cast<std::int32_t>(Size->Width);
  const auto Height = static_cast<std::int32_t>(Size->Height);
  TBitmap Bitmap;
  std::string Why;
  if (!Bitmap.load(Source, Width, Height, Why)) {
    Reason = Why == "Stream read error" ? truncated(ImageKind::Bmp) : UnreadBmp;
    return {};
  }
  RgbaImage Image = RgbaImage::allocate(Width, Height);
  if (Image.empty()) {
    Reason = "out of memory";
    return {};
  }
  std::uint8_t *Out = Image.pixels().data();
  for (std::int32_t Y = 0; Y < Height; ++Y)
    for (std::int32_t X = 0; X < Width; ++X, Out += 4) {
      const std::uint32_t Colour = Bitmap.pixel(X, Y);
      Out[0] = std::uint8_t(Colour);
      Out[1] = std::uint8_t(Colour >> 8);
      Out[2] = std::uint8_t(Colour >> 16);
      Out[3] = 255;
    }
  return Image;
}

} // namespace

RgbaImage decodeImage(ByteSource &Source, const DecodeLimits &Limits,
                      std::string &Reason) {
  std::array<std::uint8_t, SniffBytes> Head{};
  const ImageKind Kind =
      sniffImage(std::span(Head).first(Source.readAt(0, Head)));
  if (Kind == ImageKind::Unknown) {
    Reason = "not a PNG, JPEG, GIF, BMP or PNM picture";
    return {};
  }
  if (Kind == ImageKind::OtherPnm) {
    Reason = std::string("a P") + char(Head[1]) +
             " PNM file, which is not read (only P5 and P6 are)";
    return {};
  }
  if (Kind == ImageKind::Jpeg && !jpegTablesFit(Source)) {
    Reason = corrupt(Kind, "a Huffman table holds more than 256 codes");
    return {};
  }
  if (Kind == ImageKind::Pnm && !pnmNumbersFit(Source)) {
    Reason = corrupt(Kind, "a number in its header is too long");
    return {};
  }
  std::string Why;
  const std::optional<StbHeader> Header = stbHeader(Source, Kind, Why);
  if (Header && !withinLimits(Header->Size.Width, Header->Size.Height, Limits, Reason))
    return {};
  if (Kind == ImageKind::Bmp) {
    if (Header)
      if (RgbaImage Image = stbDecode(Source, Kind, *Header, Why); !Image.empty())
        return Image;
    return torvelDecode(Source, Limits, Reason);
  }
  if (!Header) {
    // stb_image refuses sizes beyond its own limit without a word of them.
    const std::optional<ImageSize> Claimed = claimedSize(Kind, Source);
    if (!Claimed || withinLimits(Claimed->Width, Claimed->Height, Limits, Reason))
      Reason = Why;
    return {};
  }
  return stbDecode(Source, Kind, *Header, Reason);
}

} // namespace torvel

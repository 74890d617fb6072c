#include "image/decode.h"

#include "image/header.h"
#include "image/stb.h"
#include "picture/bmp.h"

#include <stb_image.h>

#include <array>
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

// The size stb_image finds in the header, or why there is none.
std::optional<ImageSize> stbSize(ByteSource &Source, ImageKind Kind,
                                 std::string &Reason) {
  Reader R(Source);
  int Width = 0;
  int Height = 0;
  int Channels = 0;
  if (stbi_info_from_callbacks(&Callbacks, &R, &Width, &Height, &Channels))
    return ImageSize{std::uint32_t(Width), std::uint32_t(Height)};
  if (R.Failed)
    Reason = "read error";
  else if (R.PastEnd)
    Reason = truncated(Kind);
  else
    Reason = corrupt(Kind, "its header is not valid");
  return std::nullopt;
}

RgbaImage stbDecode(ByteSource &Source, ImageKind Kind, ImageSize Size,
                    std::string &Reason) {
  StbBudget Budget(budgetFor(std::uint64_t(Size.Width) * Size.Height));
  Reader R(Source);
  int Width = 0;
  int Height = 0;
  int Channels = 0;
  stbi_uc *Pixels = stbi_load_from_callbacks(&Callbacks, &R, &Width, &Height,
                                             &Channels, 4);
  RgbaImage Image(Width, Height, Pixels);
  if (!Image.empty() && !R.PastEnd && !R.Failed &&
      std::uint32_t(Width) == Size.Width && std::uint32_t(Height) == Size.Height)
    return Image;
  if (R.Failed)
    Reason = "read error";
  else if (R.PastEnd)
    Reason = truncated(Kind);
  else if (Budget.exceeded())
    Reason = corrupt(Kind, "it decodes to more data than its size holds");
  else if (Image.empty())
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
  std::string Why;
  const std::optional<ImageSize> Size = stbSize(Source, Kind, Why);
  if (Size && !withinLimits(Size->Width, Size->Height, Limits, Reason))
    return {};
  if (Kind == ImageKind::Bmp) {
    if (Size)
      if (RgbaImage Image = stbDecode(Source, Kind, *Size, Why); !Image.empty())
        return Image;
    return torvelDecode(Source, Limits, Reason);
  }
  if (!Size) {
    // stb_image refuses sizes beyond its own limit without a word of them.
    const std::optional<ImageSize> Claimed = claimedSize(Kind, Source);
    if (!Claimed || withinLimits(Claimed->Width, Claimed->Height, Limits, Reason))
      Reason = Why;
    return {};
  }
  return stbDecode(Source, Kind, *Size, Reason);
}

} // namespace torvel

// The page's import and its verified patch: an image kept in the stages
// import passes it through, so that moving the threshold only inks again,
// the dump's SHA-256 taken in slices, and the patch as patch writes it.
#include "web/glue_values.h"

#include "base/path.h"
#include "base/sha256.h"
#include "image/decode.h"
#include "image/fit.h"
#include "image/grey.h"
#include "image/ink.h"
#include "patch/verified_patch.h"
#include "picture/bmp.h"
#include "picture/vkp.h"

#include <emscripten/bind.h>

#include <algorithm>
#include <optional>

namespace torvel {
namespace {

using emscripten::val;

bool isOpaque(const RgbaImage &Image) {
  const std::span<const std::uint8_t> Pixels = Image.pixels();
  for (std::size_t I = 3; I < Pixels.size(); I += 4)
    if (Pixels[I] != 255)
      return false;
  return true;
}

// One image brought in: decoded once, its grey levels for the background
// last asked for, and its placement for the last picture size and fit.
class ImageSession {
public:
  // Decodes the file's Bytes as import does; reason() says why not.
  explicit ImageSession(val Bytes) {
    ArraySource Source(std::move(Bytes));
    Decoded = decodeImage(Source, DecodeLimits(), Reason);
    if (Decoded.empty())
      return;
    W = Decoded.width();
    H = Decoded.height();
    // Opaque pixels are grey alike over either background: the colours can go.
    if (isOpaque(Decoded)) {
      Grey = greyLevels(Decoded, false);
      Decoded = RgbaImage();
    }
  }

  // Empty when the image decoded.
  std::string reason() const { return Reason; }
  std::int32_t width() const { return W; }
  std::int32_t height() const { return H; }

  // The rows of a Width x Height picture (1 to 255 each) that import
  // writes for these options; null when the scaler cannot have its memory,
  // the image did not decode or an option is out of range.
  val rows(std::int32_t Width, std::int32_t Height, Fit Fitting,
           bool BlackBackground, int Threshold, Dither Dithering, bool Invert) {
    if (W == 0 || Width < 1 || Width > 255 || Height < 1 || Height > 255 ||
        Threshold < 0 || Threshold > 256)
      return val::null();
    if (!Decoded.empty() && (!Grey || GreyOverBlack != BlackBackground)) {
      Grey.reset();
      Placed.reset();
      Grey = greyLevels(Decoded, BlackBackground);
      GreyOverBlack = BlackBackground;
    }
    if (!Placed || PlacedWidth != Width || PlacedHeight != Height ||
        PlacedFit != Fitting) {
      Placed.reset();
      Placed = fitImage(*Grey, Width, Height, Fitting);
      if (!Placed)
        return val::null();
      PlacedWidth = Width;
      PlacedHeight = Height;
      PlacedFit = Fitting;
    }
    ImportOptions Options;
    Options.Fitting = Fitting;
    Options.Threshold = Threshold;
    Options.Dithering = Dithering;
    Options.Invert = Invert;
    Options.BlackBackground = BlackBackground;
    return arrayOf(inkRows(*Placed, Width, Height, Options));
  }

private:
  std::string Reason;
  std::int32_t W = 0;
  std::int32_t H = 0;
  RgbaImage Decoded; // kept only while the background changes the grey
  std::optional<GreyImage> Grey;
  bool GreyOverBlack = false;
  std::optional<Placement> Placed;
  std::int32_t PlacedWidth = 0;
  std::int32_t PlacedHeight = 0;
  Fit PlacedFit = Fit::Contain;
};

// The SHA-256 of a dump fed to it in slices, in order.
class DumpHash {
public:
  void update(val Bytes) {
    if (!Done)
      Hash.update(bytesOf(Bytes));
  }
  // The 32 bytes of the digest; the hash is then spent.
  val finish() {
    if (!Done)
      Digest = Hash.finish();
    Done = true;
    return arrayOf(std::vector<std::uint8_t>(Digest.begin(), Digest.end()));
  }

private:
  Sha256 Hash;
  Sha256Digest Digest{};
  bool Done = false;
};

// The verified patch of picture Index (Width x Height at Offset, rows
// OldRows as the dump holds them) that patch writes from the 1-bit BMP
// Bmp, the dump being DumpName of DumpSize bytes with SHA-256 Digest.
// Empty when a value does not fit the picture or the BMP does not load.
val verifiedPatch(std::int32_t Index, std::int32_t Width, std::int32_t Height,
                  std::int32_t Address, double Offset, val OldRows, val Bmp,
                  std::string DumpName, double DumpSize, val Digest) {
  const std::vector<std::uint8_t> Old = bytesOf(OldRows);
  const std::vector<std::uint8_t> Hash = bytesOf(Digest);
  const std::optional<std::uint64_t> At = wholeNumber(Offset, 0xFFFFFFFF);
  const std::optional<std::uint64_t> Size = wholeNumber(DumpSize);
  if (!holdsRows(Old, Width, Height) || Width == 0 || Height == 0 || !At ||
      !Size || Hash.size() != Sha256Digest().size() || Index < 0)
    return bytesVal("");
  // Loaded, cut and packed as patch does with the BMP file.
  ArraySource Source(std::move(Bmp));
  TBitmap Bitmap;
  std::string Reason;
  if (!Bitmap.load(Source, Width, Height, Reason))
    return bytesVal("");
  Bitmap.setWidth(Width);
  Bitmap.setHeight(Height);
  const std::vector<std::uint8_t> NewRows = packRows(Bitmap);
  Sha256Digest DumpDigest;
  std::copy(Hash.begin(), Hash.end(), DumpDigest.begin());
  const PictureEntry Entry{Width, Height, Address};
  return bytesVal(verifiedPatchText(Index, Entry, static_cast<std::uint32_t>(*At),
                                    Old, NewRows, baseName(DumpName), *Size,
                                    DumpDigest));
}

} // namespace
} // namespace torvel

EMSCRIPTEN_BINDINGS(torvel_image) {
  using namespace torvel;
  emscripten::enum_<Fit>("Fit")
      .value("contain", Fit::Contain)
      .value("cover", Fit::Cover)
      .value("stretch", Fit::Stretch)
      .value("none", Fit::None);
  emscripten::enum_<Dither>("Dither")
      .value("none", Dither::None)
      .value("floyd-steinberg", Dither::FloydSteinberg)
      .value("atkinson", Dither::Atkinson)
      .value("bayer", Dither::Bayer);
  emscripten::class_<ImageSession>("ImageSession")
      .constructor<emscripten::val>()
      .function("reason", &ImageSession::reason)
      .function("width", &ImageSession::width)
      .function("height", &ImageSession::height)
      .function("rows", &ImageSession::rows);
  emscripten::class_<DumpHash>("DumpHash")
      .constructor<>()
      .function("update", &DumpHash::update)
      .function("finish", &DumpHash::finish);
  emscripten::function("verifiedPatch", &verifiedPatch);
}

// An image brought into the page: decoded once, then put over its
// background, fitted and inked as import does, each stage kept so that a
// move of the threshold slider only inks again.
#include "base/byte_source.h"
#include "image/decode.h"
#include "image/fit.h"
#include "image/grey.h"
#include "image/ink.h"
#include "web/glue_values.h"

#include <emscripten/bind.h>

#include <optional>
#include <string>

namespace torvel {
namespace {

using namespace web;

class ImageWork {
public:
  explicit ImageWork(val FileBytes) {
    const std::vector<std::uint8_t> Bytes = bytesOf(FileBytes);
    MemorySource Source(Bytes);
    Decoded = decodeImage(Source, DecodeLimits(), Reason);
  }

  // Why the file could not be decoded; empty when it was.
  std::string error() const { return Decoded.empty() ? Reason : ""; }
  int width() const { return Decoded.width(); }
  int height() const { return Decoded.height(); }

  // The rows of a Width x Height picture made of the image as import makes
  // them; Fitting and Dithering in the order of their enums. Empty when the
  // image could not be decoded or fitted.
  val ink(int Width, int Height, int Fitting, int Threshold, int Dithering,
          bool Invert, bool BlackBackground) {
    if (Decoded.empty() || Width <= 0 || Height <= 0 || Width > 255 ||
        Height > 255 || Fitting < 0 || Fitting > 3 || Dithering < 0 ||
        Dithering > 3 || Threshold < 0 || Threshold > 256)
      return bytesVal("");
    if (!Grey || GreyOverBlack != BlackBackground) {
      Grey = greyLevels(Decoded, BlackBackground);
      GreyOverBlack = BlackBackground;
      Placed.reset();
    }
    const PlaceKey Key{Width, Height, Fitting};
    if (!Placed || PlacedFor != Key) {
      Placed = fitImage(*Grey, Width, Height, static_cast<Fit>(Fitting));
      PlacedFor = Key;
      if (!Placed)
        return bytesVal("");
    }
    ImportOptions Options;
    Options.Fitting = static_cast<Fit>(Fitting);
    Options.Threshold = Threshold;
    Options.Dithering = static_cast<Dither>(Dithering);
    Options.Invert = Invert;
    Options.BlackBackground = BlackBackground;
    return arrayOf(inkRows(*Placed, Width, Height, Options));
  }

private:
  struct PlaceKey {
    int Width = 0, Height = 0, Fitting = 0;
    bool operator==(const PlaceKey &) const = default;
  };

  RgbaImage Decoded;
  std::string Reason;
  std::optional<GreyImage> Grey;
  bool GreyOverBlack = false;
  std::optional<Placement> Placed;
  PlaceKey PlacedFor;
};

} // namespace
} // namespace torvel

EMSCRIPTEN_BINDINGS(torvel_image) {
  using namespace torvel;
  emscripten::class_<ImageWork>("ImageWork")
      .constructor<emscripten::val>()
      .function("error", &ImageWork::error)
      .function("width", &ImageWork::width)
      .function("height", &ImageWork::height)
      .function("ink", &ImageWork::ink);
}

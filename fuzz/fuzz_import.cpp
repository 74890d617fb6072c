// The import pipeline on hostile picture files of every kind. The input's
// last three bytes choose the picture's width and height (1 to 256) and the
// options; everything before them is the file. Decoding runs under small
// limits, so that what it may hold stays well inside the fuzzer's memory.
#include "base/byte_source.h"
#include "fuzz_util.h"
#include "image/decode.h"
#include "image/fit.h"
#include "image/grey.h"
#include "image/ink.h"
#include "picture/vkp.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data,
                                      std::size_t Size) {
  using namespace torvel;
  if (Size < 3)
    return 0;
  const std::uint8_t *Tail = Data + Size - 3;
  const std::int32_t Width = Tail[0] + 1;
  const std::int32_t Height = Tail[1] + 1;
  ImportOptions Options;
  Options.Fitting = static_cast<Fit>(Tail[2] & 3);
  Options.Dithering = static_cast<Dither>(Tail[2] >> 2 & 3);
  Options.Invert = Tail[2] & 16;
  Options.BlackBackground = Tail[2] & 32;
  Options.Threshold = (Tail[2] >> 6) * 85 + 1;

  const DecodeLimits Limits{4096, std::uint64_t(16) << 20};
  MemorySource Source({Data, Size - 3});
  std::string Reason;
  const RgbaImage Image = decodeImage(Source, Limits, Reason);
  if (Image.empty()) {
    TORVEL_FUZZ_CHECK(!Reason.empty());
    return 0;
  }
  TORVEL_FUZZ_CHECK(Image.width() >= 1 && Image.height() >= 1 &&
                    Image.width() <= Limits.MaxSide &&
                    Image.height() <= Limits.MaxSide &&
                    Image.byteSize() <= Limits.MaxBytes);
  const GreyImage Grey = greyLevels(Image, Options.BlackBackground);
  const std::optional<Placement> Placed =
      fitImage(Grey, Width, Height, Options.Fitting);
  TORVEL_FUZZ_CHECK(Placed);
  const GreyImage &Fitted = Placed->Image;
  TORVEL_FUZZ_CHECK(Placed->Left >= 0 && Placed->Top >= 0 &&
                    Placed->Left + Fitted.Width <= Width &&
                    Placed->Top + Fitted.Height <= Height &&
                    Fitted.Levels.size() ==
                        std::size_t(Fitted.Width) * std::size_t(Fitted.Height));
  const std::vector<std::uint8_t> Rows = inkRows(*Placed, Width, Height, Options);
  TORVEL_FUZZ_CHECK(Rows.size() == bytesPerRow(Width) * std::size_t(Height));
  return 0;
}

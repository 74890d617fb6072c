// The BMP loader on arbitrary file bytes. The input's last two bytes are the
// width and height to cut or extend to; everything before them is the file.
// A load that keeps only that region must agree with one that keeps the
// largest region the conversion ever needs.
#include "fuzz_util.h"
#include "picture/bmp.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const torvel::fuzz::ScratchFolder &folder() {
  static const torvel::fuzz::ScratchFolder Folder("fuzz-bmp");
  return Folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data,
                                      std::size_t Size) {
  using torvel::TBitmap;
  if (Size < 2)
    return 0;
  const std::int32_t W = Data[Size - 2];
  const std::int32_t H = Data[Size - 1];
  const std::string Name = folder() / "in.bmp";
  torvel::fuzz::writeWhole(Name, torvel::fuzz::asText(Data, Size - 2));

  TBitmap Small, Large;
  std::string SmallReason, LargeReason;
  const bool SmallOk = Small.loadFromFile(Name, W, H, SmallReason);
  const bool LargeOk = Large.loadFromFile(Name, 255, 255, LargeReason);
  TORVEL_FUZZ_CHECK(SmallOk == LargeOk);
  if (!SmallOk) {
    TORVEL_FUZZ_CHECK(SmallReason == LargeReason);
    // The file exists, so only the format can be at fault.
    TORVEL_FUZZ_CHECK(SmallReason == "Stream read error" ||
                      SmallReason == "Bitmap image is not valid");
    return 0;
  }
  for (TBitmap *Picture : {&Small, &Large}) {
    Picture->setWidth(W);
    Picture->setHeight(H);
    TORVEL_FUZZ_CHECK(Picture->width() == W && Picture->height() == H);
  }
  for (std::int32_t Y = 0; Y < H; ++Y)
    for (std::int32_t X = 0; X < W; ++X) {
      const std::uint32_t Colour = Small.pixel(X, Y);
      TORVEL_FUZZ_CHECK((Colour >> 24) == 0);
      TORVEL_FUZZ_CHECK(Colour == Large.pixel(X, Y));
    }
  return 0;
}

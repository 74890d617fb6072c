#include "picture/mono_bmp.h"

#include "picture/vkp.h"

namespace torvel {

namespace {

constexpr std::uint32_t HeadersSize = 14 + 40 + 2 * 4;
// 72 dots per inch.
constexpr std::uint32_t PixelsPerMetre = 2835;

void putU16(std::string &Out, std::uint32_t V) {
  Out += static_cast<char>(V & 0xFF);
  Out += static_cast<char>(V >> 8 & 0xFF);
}

void putU32(std::string &Out, std::uint32_t V) {
  putU16(Out, V & 0xFFFF);
  putU16(Out, V >> 16);
}

} // namespace

std::string monochromeBmp(std::span<const std::uint8_t> Rows,
                          std::int32_t Width, std::int32_t Height) {
  const std::uint32_t RowBytes = bytesPerRow(Width);
  const std::uint32_t Stride = (RowBytes + 3) / 4 * 4;
  const std::uint32_t ImageSize = Stride * static_cast<std::uint32_t>(Height);
  std::string Out;
  Out.reserve(HeadersSize + ImageSize);
  Out += "BM";
  putU32(Out, HeadersSize + ImageSize);
  putU32(Out, 0);
  putU32(Out, HeadersSize);
  putU32(Out, 40);
  putU32(Out, static_cast<std::uint32_t>(Width));
  putU32(Out, static_cast<std::uint32_t>(Height));
  putU16(Out, 1); // planes
  putU16(Out, 1); // bits per pixel
  putU32(Out, 0); // no compression
  putU32(Out, ImageSize);
  putU32(Out, PixelsPerMetre);
  putU32(Out, PixelsPerMetre);
  putU32(Out, 2); // colours used
  putU32(Out, 2); // colours important
  putU32(Out, 0x00000000);
  putU32(Out, 0x00FFFFFF);
  // Ink is a 1 bit in the dump and colour 0 (black) here.
  for (std::int32_t Y = Height - 1; Y >= 0; --Y) {
    std::span<const std::uint8_t> Row =
        Rows.subspan(std::size_t(Y) * RowBytes, RowBytes);
    for (std::uint8_t Byte : Row)
      Out += static_cast<char>(~Byte & 0xFF);
    Out.append(Stride - RowBytes, '\0');
  }
  return Out;
}

} // namespace torvel

#include "picture/vkp.h"

#include "base/int_text.h"
#include "picture/bmp.h"

namespace torvel {

std::uint32_t bytesPerRow(std::int32_t Width) {
  return (static_cast<std::uint32_t>(Width) + 7) / 8;
}

std::string patchHeader(std::int32_t Index) {
  return "; Picture #" + std::to_string(Index);
}

std::vector<std::uint8_t> packRowBytes(const TBitmap &Picture,
                                       std::int32_t Y) {
  const std::int32_t Width = Picture.width();
  std::vector<std::uint8_t> Row(bytesPerRow(Width), 0xFF);
  for (std::int32_t X = 0; X < Width; ++X)
    if (Picture.pixel(X, Y) != 0)
      Row[std::size_t(X) / 8] &= static_cast<std::uint8_t>(~(0x80u >> (X % 8)));
  return Row;
}

std::vector<std::uint8_t> packRows(const TBitmap &Picture) {
  std::vector<std::uint8_t> Rows;
  Rows.reserve(bytesPerRow(Picture.width()) *
               static_cast<std::uint32_t>(Picture.height()));
  for (std::int32_t Y = 0; Y < Picture.height(); ++Y) {
    const std::vector<std::uint8_t> Row = packRowBytes(Picture, Y);
    Rows.insert(Rows.end(), Row.begin(), Row.end());
  }
  return Rows;
}

std::string drawRow(std::span<const std::uint8_t> Row, std::int32_t Width) {
  std::string Drawing;
  for (std::size_t X = 0; X < std::size_t(Width) && X / 8 < Row.size(); ++X)
    Drawing += Row[X / 8] & (0x80u >> (X % 8)) ? "XX" : "..";
  return Drawing;
}

std::string rowLine(std::uint32_t Offset, std::span<const std::uint8_t> Row,
                    std::int32_t Width) {
  static const char HexDigits[] = "0123456789ABCDEF";
  std::string Line = hex8(Offset) + ": ";
  for (std::uint8_t Byte : Row) {
    Line += HexDigits[Byte >> 4];
    Line += HexDigits[Byte & 0xF];
  }
  return Line + " ;" + drawRow(Row, Width);
}

std::string packRow(const TBitmap &Picture, std::int32_t Y,
                    std::uint32_t Offset) {
  return rowLine(Offset, packRowBytes(Picture, Y), Picture.width());
}

std::string restorePatchText(std::int32_t Index, std::uint32_t Offset,
                             std::span<const std::uint8_t> Rows,
                             std::int32_t Width, std::int32_t Height) {
  const std::uint32_t RowBytes = bytesPerRow(Width);
  std::string Text = patchHeader(Index) + "\r\n";
  for (std::int32_t Y = 0; Y < Height; ++Y) {
    Text += rowLine(Offset, Rows.subspan(std::size_t(Y) * RowBytes, RowBytes),
                    Width) +
            "\r\n";
    Offset += RowBytes;
  }
  return Text;
}

} // namespace torvel

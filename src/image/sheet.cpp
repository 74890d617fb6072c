#include "image/sheet.h"

#include "image/digits.h"

#include <algorithm>
#include <string>
#include <utility>

namespace torvel {

namespace {

constexpr std::uint8_t Paper = 255;
constexpr std::uint8_t Ink = 0;
constexpr std::uint8_t FrameGrey = 160;
constexpr std::int32_t DigitScale = 2;
constexpr std::int32_t DigitAdvance = (DigitColumns + 1) * DigitScale;
constexpr std::int32_t LabelHeight = DigitRows * DigitScale;
constexpr std::int32_t LabelGap = 3;

std::int32_t labelWidth(std::int64_t Index) {
  return static_cast<std::int32_t>(std::to_string(Index).size()) * DigitAdvance -
         DigitScale;
}

void fill(GreyImage &Image, std::int32_t X, std::int32_t Y, std::int32_t W,
          std::int32_t H, std::uint8_t Level) {
  for (std::int32_t Row = Y; Row < Y + H; ++Row)
    std::fill_n(Image.Levels.begin() +
                    static_cast<std::ptrdiff_t>(std::size_t(Row) * std::size_t(Image.Width) +
                                                std::size_t(X)),
                W, Level);
}

void put(GreyImage &Image, std::int32_t X, std::int32_t Y, std::uint8_t Level) {
  Image.Levels[std::size_t(Y) * std::size_t(Image.Width) + std::size_t(X)] = Level;
}

void drawLabel(GreyImage &Image, const SheetCell &Cell) {
  std::int32_t X = Cell.LabelX;
  for (char C : std::to_string(Cell.Index)) {
    const auto Glyph = digitGlyph(C - '0');
    for (std::int32_t Row = 0; Row < DigitRows; ++Row)
      for (std::int32_t Column = 0; Column < DigitColumns; ++Column)
        if (Glyph[std::size_t(Row)] & (4 >> Column))
          fill(Image, X + Column * DigitScale, Cell.LabelY + Row * DigitScale,
               DigitScale, DigitScale, Ink);
    X += DigitAdvance;
  }
}

// Both diagonals of the cell's rectangle.
void drawCross(GreyImage &Image, const SheetCell &Cell) {
  const std::int64_t W = Cell.ScaledWidth;
  const std::int64_t H = Cell.ScaledHeight;
  const std::int64_t Steps = std::max(W, H);
  for (std::int64_t I = 0; I < Steps && W > 0 && H > 0; ++I) {
    const auto DX = static_cast<std::int32_t>(Steps > 1 ? I * (W - 1) / (Steps - 1) : 0);
    const auto DY = static_cast<std::int32_t>(Steps > 1 ? I * (H - 1) / (Steps - 1) : 0);
    put(Image, Cell.X + DX, Cell.Y + DY, FrameGrey);
    put(Image, Cell.X + Cell.ScaledWidth - 1 - DX, Cell.Y + DY, FrameGrey);
  }
}

} // namespace

std::optional<SheetPage> SheetLayout::add(std::int64_t Index,
                                          std::int32_t Width,
                                          std::int32_t Height) {
  SheetCell Cell{Index, Width, Height};
  Cell.ScaledWidth = Width * Scale;
  Cell.ScaledHeight = Height * Scale;
  const std::int32_t Label = labelWidth(Index);
  const std::int32_t CellWidth = std::max(Cell.ScaledWidth + 2, Label);
  const std::int32_t CellHeight = Cell.ScaledHeight + 2 + LabelGap + LabelHeight;

  std::optional<SheetPage> Ended;
  if (!Row.empty() && RowRight + Gap + CellWidth + Padding > SheetMaxWidth)
    Ended = closeRow();
  const std::int32_t Left = Row.empty() ? Padding : RowRight + Gap;
  Cell.X = Left + (CellWidth - Cell.ScaledWidth) / 2;
  Cell.Y = 1;
  Cell.LabelX = Left + (CellWidth - Label) / 2;
  Cell.LabelY = Cell.ScaledHeight + 2 + LabelGap;
  Row.push_back(Cell);
  RowRight = Left + CellWidth;
  RowHeight = std::max(RowHeight, CellHeight);
  return Ended;
}

std::optional<SheetPage> SheetLayout::closeRow() {
  std::optional<SheetPage> Ended;
  std::int32_t Top = Page.Cells.empty() ? Padding : PageBottom + Gap;
  if (!Page.Cells.empty() && Top + RowHeight + Padding > SheetMaxHeight) {
    Ended = std::exchange(Page, SheetPage());
    Top = Padding;
  }
  for (SheetCell &Cell : Row) {
    Cell.Y += Top;
    Cell.LabelY += Top;
    Page.Cells.push_back(Cell);
  }
  PageBottom = Top + RowHeight;
  Page.Width = std::max(Page.Width, RowRight + Padding);
  Page.Height = PageBottom + Padding;
  Row.clear();
  RowHeight = 0;
  return Ended;
}

std::vector<SheetPage> SheetLayout::finish() {
  std::vector<SheetPage> Pages;
  if (!Row.empty())
    if (std::optional<SheetPage> Ended = closeRow())
      Pages.push_back(std::move(*Ended));
  if (!Page.Cells.empty())
    Pages.push_back(std::exchange(Page, SheetPage()));
  return Pages;
}

GreyImage blankPage(const SheetPage &Page) {
  return GreyImage{Page.Width, Page.Height,
                   std::vector<std::uint8_t>(std::size_t(Page.Width) *
                                                 std::size_t(Page.Height),
                                             Paper)};
}

void drawCell(GreyImage &Image, const SheetCell &Cell, std::int32_t Scale,
              std::optional<std::span<const std::uint8_t>> Rows) {
  const std::int32_t W = Cell.ScaledWidth;
  const std::int32_t H = Cell.ScaledHeight;
  fill(Image, Cell.X - 1, Cell.Y - 1, W + 2, 1, FrameGrey);
  fill(Image, Cell.X - 1, Cell.Y + H, W + 2, 1, FrameGrey);
  fill(Image, Cell.X - 1, Cell.Y, 1, H, FrameGrey);
  fill(Image, Cell.X + W, Cell.Y, 1, H, FrameGrey);
  drawLabel(Image, Cell);
  if (!Rows) {
    drawCross(Image, Cell);
    return;
  }
  const std::size_t RowBytes = (std::size_t(Cell.Width) + 7) / 8;
  for (std::int32_t Y = 0; Y < Cell.Height; ++Y)
    for (std::int32_t X = 0; X < Cell.Width; ++X)
      if ((*Rows)[std::size_t(Y) * RowBytes + std::size_t(X) / 8] & (0x80u >> (X % 8)))
        fill(Image, Cell.X + X * Scale, Cell.Y + Y * Scale, Scale, Scale, Ink);
}

} // namespace torvel

// Contact sheets of the picture table: cells packed into rows and rows into
// pages, in table order, and the drawing of a page's cells.
//
// A cell is the picture at K times its size inside a 1-pixel grey frame,
// with its index in the digit font at 2x under it, both centred on the wider
// of the two. Cells stand Gap pixels apart, the outer ones Padding from the
// page's edges; a new row starts when the next cell does not fit in
// SheetMaxWidth, a new page when the next row does not fit in SheetMaxHeight.
#ifndef TORVEL_IMAGE_SHEET_H
#define TORVEL_IMAGE_SHEET_H

#include "image/image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace torvel {

inline constexpr std::int32_t SheetMaxWidth = 1024;
inline constexpr std::int32_t SheetMaxHeight = 8192;
inline constexpr std::int32_t SheetMaxScale = 4;

// A picture's cell on its page.
struct SheetCell {
  std::int64_t Index = 0;
  // The picture's own size.
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // The rectangle of its pixels on the page, at the sheet's scale.
  std::int32_t X = 0;
  std::int32_t Y = 0;
  std::int32_t ScaledWidth = 0;
  std::int32_t ScaledHeight = 0;
  // The top-left corner of its index.
  std::int32_t LabelX = 0;
  std::int32_t LabelY = 0;
};

struct SheetPage {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::vector<SheetCell> Cells;
};

class SheetLayout {
public:
  // Scale: 1 to SheetMaxScale.
  explicit SheetLayout(std::int32_t PixelScale) : Scale(PixelScale) {}

  // Places the next picture (index not negative, sides 0 to 255). When that
  // ends a page, the finished page comes back; the picture is on a later one.
  std::optional<SheetPage> add(std::int64_t Index, std::int32_t Width,
                               std::int32_t Height);

  // The pages still open once every picture is added, the last one last:
  // none when there were no pictures, two when the last row needs a page of
  // its own.
  std::vector<SheetPage> finish();

  static constexpr std::int32_t Padding = 1;
  static constexpr std::int32_t Gap = 8;

private:
  // Puts the pending row on the page, or on a new one; returns the page it
  // ended.
  std::optional<SheetPage> closeRow();

  std::int32_t Scale;
  SheetPage Page;
  std::vector<SheetCell> Row; // cells at their X, Y counted from the row's top
  std::int32_t RowRight = 0;  // the right edge of the row's last cell
  std::int32_t RowHeight = 0;
  std::int32_t PageBottom = 0; // the bottom edge of the page's last row
};

// A white page of Page's size.
GreyImage blankPage(const SheetPage &Page);

// Draws Cell on Image at Scale: its frame, its index, and either its pixels
// from Rows (as the dump holds them: bytesPerRow(Width) a row, ink a 1 bit)
// or, without them, a cross through the empty cell.
void drawCell(GreyImage &Image, const SheetCell &Cell, std::int32_t Scale,
              std::optional<std::span<const std::uint8_t>> Rows);

} // namespace torvel

#endif

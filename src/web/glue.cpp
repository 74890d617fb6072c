// The page's way into the core: bytes and numbers in, plain JavaScript values
// out, through the same functions the programs call, so that the page's
// files are byte for byte theirs. Here: the block map, the table and one
// picture's files; images in image_glue.cpp, patches in check_glue.cpp.
#include "web/glue_values.h"

#include "base/byte_source.h"
#include "base/int_text.h"
#include "flash/block_map.h"
#include "flash/ini_file.h"
#include "flash/picture_table.h"
#include "picture/mono_bmp.h"
#include "picture/vkp.h"

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdint>
#include <string>
#include <vector>

namespace torvel {
namespace {

using emscripten::val;

// Values each placed entry takes in placeEntries' array.
constexpr std::size_t PlaceFields = 6;
enum PlaceFlag : std::uint32_t { Mapped = 1, InDump = 2 };

EntryBytes entryAt(const std::vector<std::uint8_t> &Table, std::size_t I) {
  EntryBytes Bytes;
  std::copy_n(Table.begin() + std::ptrdiff_t(I * 8), 8, Bytes.begin());
  return Bytes;
}

// The block map in a configuration text: {ok, blocks}, blocks an Int32Array
// of Addr, FFOffset and Length for each block; ok is false when the text
// holds more than the reader keeps.
val readMap(val Text) {
  const std::vector<std::uint8_t> Bytes = bytesOf(Text);
  MemorySource Source(Bytes);
  std::optional<BlockMap> Map = readBlockMap(Source);
  std::vector<std::int32_t> Blocks;
  for (const tffblock &B : Map.value_or(BlockMap{}))
    Blocks.insert(Blocks.end(), {B.Addr, B.FFOffset, B.Length});
  val Result = val::object();
  Result.set("ok", Map.has_value());
  Result.set("blocks", arrayOf(Blocks));
  return Result;
}

// The number of whole entries in Table before one that ends the table, or
// -1 when none of them does.
int tableLength(val Table) {
  const std::vector<std::uint8_t> Bytes = bytesOf(Table);
  for (std::size_t I = 0; I < Bytes.size() / 8; ++I)
    if (isTableEnd(entryAt(Bytes, I)))
      return int(I);
  return -1;
}

// Each whole entry of Table placed under Blocks (as readMap gives them) in a
// dump of DumpSize bytes: a Uint32Array of width, height, address, offset,
// size and the PlaceFlag bits for each entry.
val placeEntries(val Table, val Blocks, double DumpSize) {
  const std::vector<std::uint8_t> Bytes = bytesOf(Table);
  const std::vector<std::int32_t> Values =
      emscripten::convertJSArrayToNumberVector<std::int32_t>(Blocks);
  const std::uint64_t Size = wholeNumber(DumpSize).value_or(0);
  BlockMap Map;
  for (std::size_t I = 0; I + 3 <= Values.size(); I += 3)
    Map.push_back({Values[I], Values[I + 1], Values[I + 2]});
  std::vector<std::uint32_t> Fields;
  Fields.reserve(Bytes.size() / 8 * PlaceFields);
  for (std::size_t I = 0; I < Bytes.size() / 8; ++I) {
    const PicturePlace P =
        placePicture(decodeEntry(entryAt(Bytes, I)), Map, Size);
    Fields.insert(Fields.end(),
                  {std::uint32_t(P.Entry.Width), std::uint32_t(P.Entry.Height),
                   std::uint32_t(P.Entry.Address), std::uint32_t(P.Offset),
                   P.Size,
                   (P.Offset != -1 ? Mapped : 0u) | (P.InDump ? InDump : 0u)});
  }
  return arrayOf(Fields);
}

// A number as the programs read an index: decimal, or hexadecimal after $,
// x or 0x; null when it is not one.
val parseNumber(std::string Text) {
  std::optional<std::int32_t> Value = parseInt(Text);
  return Value ? val(*Value) : val::null();
}

// The 1-bit BMP of a picture's rows; empty when Rows does not fit the size
// or the picture has no pixels.
val pictureBmp(val Rows, std::int32_t Width, std::int32_t Height) {
  const std::vector<std::uint8_t> Bytes = bytesOf(Rows);
  if (!holdsRows(Bytes, Width, Height) || Width == 0 || Height == 0)
    return bytesVal("");
  return bytesVal(monochromeBmp(Bytes, Width, Height));
}

// The restore patch of picture Index from its rows at Offset; empty when
// Rows does not fit the size or Offset lies outside 32 bits.
val restorePatch(std::int32_t Index, double Offset, val Rows,
                 std::int32_t Width, std::int32_t Height) {
  const std::vector<std::uint8_t> Bytes = bytesOf(Rows);
  if (!holdsRows(Bytes, Width, Height) || !(Offset >= 0 && Offset < 0x1p32))
    return bytesVal("");
  return bytesVal(restorePatchText(Index, static_cast<std::uint32_t>(Offset),
                                   Bytes, Width, Height));
}

} // namespace
} // namespace torvel

EMSCRIPTEN_BINDINGS(torvel) {
  using namespace torvel;
  emscripten::constant("PictureTableOffset", PictureTableOffset);
  emscripten::constant("MaxPictureIndex", MaxPictureIndex);
  emscripten::constant("MaxMapBytes", double(TIniFile::MaxKeptBytes));
  emscripten::function("readMap", &readMap);
  emscripten::function("tableLength", &tableLength);
  emscripten::function("placeEntries", &placeEntries);
  emscripten::function("parseNumber", &parseNumber);
  emscripten::function("pictureBmp", &pictureBmp);
  emscripten::function("restorePatch", &restorePatch);
}

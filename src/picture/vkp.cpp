#include "picture/vkp.h"

#include "driver/int_text.h"
#include "picture/bmp.h"

namespace torvel {

namespace {

const char HexDigits[] = "0123456789ABCDEF";

std::uint32_t bytesPerRow(std::int32_t Width) {
  return (static_cast<std::uint32_t>(Width) + 7) / 8;
}

} // namespace

std::string packRow(const TBitmap &Picture, std::int32_t Y,
                    std::uint32_t Offset) {
  const std::int32_t Width = Picture.width();
  std::string Line = hex8(Offset) + ": ";
  std::string Drawing = " ;";
  for (std::uint32_t C = 0; C < bytesPerRow(Width); ++C) {
    unsigned Byte = 0xFF;
    for (unsigned I = 0; I < 8; ++I) {
      const std::int64_t X = std::int64_t(C) * 8 + I;
      if (X >= Width)
        continue; // Positions beyond the width stay set.
      bool Ink = Picture.pixel(static_cast<std::int32_t>(X), Y) == 0;
      if (!Ink)
        Byte &= ~(0x80u >> I);
      Drawing += Ink ? "XX" : "..";
    }
    Line += HexDigits[Byte >> 4];
    Line += HexDigits[Byte & 0xF];
  }
  return Line + Drawing;
}

std::vector<std::string> buildRowLines(const PictureEntry &Entry,
                                       const std::string &BmpName,
                                       const BlockMap &Map,
                                       std::string &Status) {
  TBitmap Picture;
  std::string Reason;
  if (!Picture.loadFromFile(BmpName, Entry.Width, Entry.Height, Reason)) {
    Status = "cannot load " + BmpName;
    return {};
  }
  Picture.setWidth(Entry.Width);
  Picture.setHeight(Entry.Height);

  const std::int32_t Offset = translateAddress(Map, Entry.Address);
  if (Offset == -1) {
    // Rows numbered from FFFFFFFF would land anywhere in the phone's flash.
    Status = "Unmapped picture address " +
             hex8(static_cast<std::uint32_t>(Entry.Address));
    return {};
  }

  std::vector<std::string> Lines;
  std::uint32_t RowOffset = static_cast<std::uint32_t>(Offset);
  for (std::int32_t Y = 0; Y < Picture.height(); ++Y) {
    Lines.push_back(packRow(Picture, Y, RowOffset));
    RowOffset += bytesPerRow(Picture.width());
  }
  return Lines;
}

void convertPicture(RunState &Run) {
  if (!Run.Status.empty())
    return;
  std::optional<PictureEntry> Entry =
      readPictureEntry(Run.Flash, Run.PictureIndex);
  if (!Entry) {
    Run.Status = "Bad FF file " + Run.FlashName;
    return;
  }
  if (!Run.Output.write("; Picture #" + std::to_string(Run.PictureIndex) +
                        "\r\n")) {
    Run.Status = "Cannot save to " + Run.OutputName;
    return;
  }
  std::vector<std::string> Lines =
      buildRowLines(*Entry, Run.BmpName, Run.Map, Run.Status);
  if (!Run.Status.empty())
    return;
  std::string Text;
  for (const std::string &Line : Lines)
    Text += Line + "\r\n";
  if (!Run.Output.write(Text))
    Run.Status = "Cannot save to " + Run.OutputName;
}

} // namespace torvel

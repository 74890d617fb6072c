#include "pics/commands.h"

#include "base/path.h"
#include "image/png.h"
#include "image/sheet.h"

#include <deque>

namespace torvel {

namespace {

// The name of page Number (from 1) of a sheet named Name: "-Number" before
// its extension.
std::string pageName(const std::string &Name, std::size_t Number) {
  std::size_t Dot = Name.size();
  for (std::size_t Pos = Name.size(); Pos > 0; --Pos) {
    if (isPathDelimiter(Name[Pos - 1]))
      break;
    if (Name[Pos - 1] == '.') {
      Dot = Pos - 1;
      break;
    }
  }
  return Name.substr(0, Dot) + "-" + std::to_string(Number) + Name.substr(Dot);
}

// Renders, encodes and stages the pages one at a time; commits them all at
// the end.
class PageWriter {
public:
  explicit PageWriter(Session &Run) : S(Run), Inputs(Run.inputs()) {}

  // Places of the pictures added, first to last, not yet on a written page.
  std::deque<PicturePlace> Places;

  // Writes Page, which is the last one when Last is set.
  std::optional<Stop> write(const SheetPage &Page, bool Last) {
    const std::string &Given = S.Req.OutputName;
    const std::string Name =
        Last && Staged.empty() ? Given : pageName(Given, Staged.size() + 1);
    GreyImage Image = blankPage(Page);
    std::string Lines;
    for (const SheetCell &Cell : Page.Cells) {
      const PicturePlace Place = Places.front();
      Places.pop_front();
      std::optional<std::vector<std::uint8_t>> Rows;
      if (Place.InDump) {
        Rows = readFlashBytes(S.Flash, static_cast<std::uint32_t>(Place.Offset),
                              Place.Size);
        if (!Rows)
          return Stop{"cannot read " + S.Req.FlashName};
      }
      drawCell(Image, Cell, S.Req.Scale,
               Rows ? std::optional<std::span<const std::uint8_t>>(*Rows)
                    : std::nullopt);
      Lines += std::to_string(Cell.Index) + " " + std::to_string(Cell.X) + " " +
               std::to_string(Cell.Y) + " " + std::to_string(Cell.ScaledWidth) +
               " " + std::to_string(Cell.ScaledHeight) + " " + Name + "\n";
    }
    const std::string Png = writePng(Image);
    Image = GreyImage();
    if (Png.empty())
      return Stop{"cannot encode " + Name + ": out of memory"};
    StagedFile Out;
    if (std::optional<Stop> Failed = Session::saveFailure(
            Name, StagedFile::create(Name, Inputs, Out)))
      return Failed;
    if (!Out.write(Png) || !Out.close())
      return Stop{"cannot write " + Name};
    Staged.push_back({Name, std::move(Out)});
    if (!writeStdout(Lines))
      return Stop{"cannot write to standard output"};
    return std::nullopt;
  }

  // Puts every page in place; on a failure none stays.
  std::optional<Stop> commit() {
    for (std::size_t I = 0; I < Staged.size(); ++I)
      if (!Staged[I].second.commit()) {
        for (std::size_t Done = 0; Done < I; ++Done)
          removeFile(Staged[Done].first);
        return Stop{"cannot write " + Staged[I].first};
      }
    return std::nullopt;
  }

private:
  Session &S;
  std::vector<FileIdentity> Inputs;
  std::vector<std::pair<std::string, StagedFile>> Staged;
};

} // namespace

std::optional<Stop> runSheet(Session &S) {
  const Request &Req = S.Req;
  SheetLayout Layout(Req.Scale);
  PageWriter Writer(S);
  if (std::optional<Stop> Failed = S.walkTable(
          [&](std::int64_t Index, const EntryBytes &Bytes) -> std::optional<Stop> {
            const PictureEntry Entry = decodeEntry(Bytes);
            Writer.Places.push_back(placePicture(Entry, S.Map, S.Flash.size()));
            if (std::optional<SheetPage> Page = Layout.add(Index, Entry.Width, Entry.Height))
              return Writer.write(*Page, false);
            return std::nullopt;
          }))
    return Failed;
  std::vector<SheetPage> Last = Layout.finish();
  if (Last.empty())
    return Stop{"no pictures to draw from picture " + std::to_string(Req.First) +
                " on"};
  for (std::size_t I = 0; I < Last.size(); ++I)
    if (std::optional<Stop> Failed = Writer.write(Last[I], I + 1 == Last.size()))
      return Failed;
  return Writer.commit();
}

} // namespace torvel

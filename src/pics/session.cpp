#include "pics/session.h"

#include "base/int_text.h"

namespace torvel {

std::uint32_t Picture::rowBytes() const {
  return (static_cast<std::uint32_t>(Place.Entry.Width) + 7) / 8;
}

std::span<const std::uint8_t> Picture::row(std::int32_t Y) const {
  return std::span(Rows).subspan(std::size_t(Y) * rowBytes(), rowBytes());
}

std::optional<Stop> refuseNoPixels(const Picture &P) {
  const PictureEntry &E = P.Place.Entry;
  if (E.Width != 0 && E.Height != 0)
    return std::nullopt;
  return Stop{"picture " + std::to_string(P.Index) + " has no pixels (" +
              std::to_string(E.Width) + " x " + std::to_string(E.Height) + ")"};
}

std::optional<Stop> Session::open() {
  std::optional<BlockMap> Loaded = readBlockMap(Req.ConfigPath);
  if (!Loaded)
    return Stop{"cannot open configuration file " + Req.ConfigPath};
  Map = std::move(*Loaded);
  std::optional<File> Opened =
      File::openForReading(Req.FlashName, File::Sharing::ReadWrite);
  if (!Opened)
    return Stop{"cannot open fullflash file " + Req.FlashName};
  Flash = std::move(*Opened);
  return std::nullopt;
}

std::string Session::noEntry(std::int64_t Index) const {
  return Req.FlashName + " ends before entry " + std::to_string(Index) +
         " of the picture table";
}

std::optional<Stop> Session::outOfRange(std::int64_t Index) const {
  if (Index >= 0 && Index <= MaxPictureIndex)
    return std::nullopt;
  return Stop{"picture index " + std::to_string(Index) +
              " is out of range (0 to " + std::to_string(MaxPictureIndex) +
              ")"};
}

std::optional<Stop> Session::walkTable(
    const std::function<std::optional<Stop>(std::int64_t Index,
                                            const EntryBytes &Bytes)> &Visit) {
  if (std::optional<Stop> Bad = outOfRange(Req.First))
    return Bad;
  EntryCursor Cursor(Flash, Req.First);
  for (std::int64_t N = 0; !Req.Count || N < *Req.Count; ++N) {
    const std::int64_t Index = Cursor.index();
    std::optional<EntryBytes> Bytes = Cursor.next();
    if (!Bytes) {
      // Without a count the dump's end ends the table, once it has begun.
      if (!Req.Count && N > 0)
        break;
      if (std::optional<Stop> Bad = outOfRange(Index))
        return Bad;
      return Stop{noEntry(Index)};
    }
    if (!Req.Count && isTableEnd(*Bytes))
      break;
    if (std::optional<Stop> Failed = Visit(Index, *Bytes))
      return Failed;
  }
  return std::nullopt;
}

std::optional<Stop> Session::findPicture(std::int32_t Index, Need Level,
                                         Picture &Out) {
  const std::string Name = "picture " + std::to_string(Index);
  if (std::optional<Stop> Bad = outOfRange(Index))
    return Bad;
  EntryCursor Cursor(Flash, 0);
  std::optional<EntryBytes> Bytes;
  for (std::int32_t I = 0; I <= Index; ++I) {
    Bytes = Cursor.next();
    if (!Bytes)
      return Stop{noEntry(Index)};
    if (isTableEnd(*Bytes))
      return Stop{Name + " is past the end of the picture table, which "
                         "holds " + std::to_string(I) + " pictures"};
  }
  Out.Index = Index;
  Out.Place = placePicture(decodeEntry(*Bytes), Map, Flash.size());
  Out.Rows.clear();
  const PicturePlace &P = Out.Place;
  if (Level == Need::Entry)
    return std::nullopt;
  if (P.Offset == -1)
    return Stop{Name + ": address " +
                hex8(static_cast<std::uint32_t>(P.Entry.Address)) +
                " lies in no block of " + Req.ConfigPath};
  if (Level == Need::Mapped)
    return std::nullopt;
  if (!P.InDump)
    return Stop{Name + ": its " + std::to_string(P.Size) +
                " bytes at offset " + hex8(static_cast<std::uint32_t>(P.Offset)) +
                " run past the end of " + Req.FlashName};
  std::optional<std::vector<std::uint8_t>> Read =
      readFlashBytes(Flash, static_cast<std::uint32_t>(P.Offset), P.Size);
  if (!Read)
    return Stop{"cannot read " + Req.FlashName};
  Out.Rows = std::move(*Read);
  return std::nullopt;
}

std::vector<FileIdentity>
Session::inputs(const std::vector<std::string> &Names) const {
  std::vector<FileIdentity> Ids;
  if (std::optional<FileIdentity> Id = Flash.identity())
    Ids.push_back(*Id);
  if (std::optional<FileIdentity> Id = identifyFile(expandPath(Req.ConfigPath)))
    Ids.push_back(*Id);
  for (const std::string &Name : Names)
    if (std::optional<FileIdentity> Id = identifyFile(Name))
      Ids.push_back(*Id);
  return Ids;
}

std::optional<Stop> Session::saveFailure(const std::string &Name,
                                         File::CreateResult Result) {
  switch (Result) {
  case File::CreateResult::Created:
    return std::nullopt;
  case File::CreateResult::IsProtected:
    return Stop{"will not write " + Name + ": it is one of the inputs"};
  default:
    return Stop{"cannot write " + Name};
  }
}

std::optional<Stop> Session::save(const std::string &Name,
                                  std::string_view Data,
                                  const std::vector<std::string> &Inputs) const {
  return saveFailure(Name, saveFile(Name, Data, inputs(Inputs)));
}

} // namespace torvel

#include "pics/pics.h"

#include "base/int_text.h"
#include "base/platform.h"
#include "flash/block_map.h"
#include "flash/picture_table.h"
#include "picture/mono_bmp.h"
#include "picture/vkp.h"
#include "pics/args.h"

#include <cstdio>
#include <optional>
#include <span>

namespace torvel {

namespace {

// Where a picture's rows lie in the dump.
struct Place {
  PictureEntry Entry;
  std::int32_t Offset = -1; // -1: no block maps the address
  std::uint32_t Size = 0;
  bool InDump = false;
};

Place placePicture(const EntryBytes &Bytes, const BlockMap &Map,
                   std::uint64_t DumpSize) {
  Place P;
  P.Entry = decodeEntry(Bytes);
  P.Offset = translateAddress(Map, P.Entry.Address);
  P.Size = bytesPerRow(P.Entry.Width) * static_cast<std::uint32_t>(P.Entry.Height);
  // Rows past the 32-bit end would wrap in a patch; the dump cannot hold them.
  const std::uint64_t End =
      std::uint64_t(static_cast<std::uint32_t>(P.Offset)) + P.Size;
  P.InDump = P.Offset != -1 && End <= DumpSize && End <= 0x100000000u;
  return P;
}

std::string sizeText(const PictureEntry &E) {
  return std::to_string(E.Width) + " x " + std::to_string(E.Height);
}

std::string listLine(std::int64_t Index, const Place &P) {
  char Offset[16] = "unmapped";
  if (P.Offset != -1)
    std::snprintf(Offset, sizeof Offset, "%08X", static_cast<std::uint32_t>(P.Offset));
  char Line[128];
  std::snprintf(Line, sizeof Line, "%5lld  %3d x %-3d  %08X  %-8s  %5u bytes%s\n",
                static_cast<long long>(Index), P.Entry.Width, P.Entry.Height,
                static_cast<std::uint32_t>(P.Entry.Address), Offset, P.Size,
                P.Offset != -1 && !P.InDump ? "  past end of dump" : "");
  return Line;
}

class PicsRun {
public:
  explicit PicsRun(const Request &R) : Req(R) {}

  std::optional<Stop> run() {
    std::optional<BlockMap> Loaded = readBlockMap(Req.ConfigPath);
    if (!Loaded)
      return Stop{"cannot open configuration file " + Req.ConfigPath};
    Map = std::move(*Loaded);
    std::optional<File> Opened =
        File::openForReading(Req.FlashName, File::Sharing::ReadWrite);
    if (!Opened)
      return Stop{"cannot open fullflash file " + Req.FlashName};
    Flash = std::move(*Opened);
    if (Req.Cmd == Command::List)
      return list();
    if (std::optional<Stop> Failed = readPicture())
      return Failed;
    switch (Req.Cmd) {
    case Command::Show:
      return show();
    case Command::Extract:
      return extract();
    default:
      return restore();
    }
  }

private:
  const Request &Req;
  BlockMap Map;
  File Flash;
  // Picture Req.Index: where it lies, and its bytes.
  Place Picture;
  std::vector<std::uint8_t> Rows;

  std::string noEntry(std::int64_t Index) const {
    return Req.FlashName + " ends before entry " + std::to_string(Index) +
           " of the picture table";
  }

  std::optional<Stop> outOfRange(std::int64_t Index) const {
    if (Index >= 0 && Index <= MaxPictureIndex)
      return std::nullopt;
    return Stop{"picture index " + std::to_string(Index) +
                " is out of range (0 to " + std::to_string(MaxPictureIndex) +
                ")"};
  }

  std::optional<Stop> list() {
    if (std::optional<Stop> Bad = outOfRange(Req.First))
      return Bad;
    EntryCursor Cursor(Flash, Req.First);
    std::string Text;
    auto flush = [&] {
      bool Ok = writeStdout(Text);
      Text.clear();
      return Ok;
    };
    for (std::int64_t N = 0; !Req.Count || N < *Req.Count; ++N) {
      std::int64_t Index = Cursor.index();
      std::optional<EntryBytes> Bytes = Cursor.next();
      if (!Bytes) {
        // Without a count the dump's end ends the table, once it has begun.
        if (!Req.Count && N > 0)
          break;
        flush();
        if (std::optional<Stop> Bad = outOfRange(Index))
          return Bad;
        return Stop{noEntry(Index)};
      }
      if (!Req.Count && isTableEnd(*Bytes))
        break;
      Text += listLine(Index, placePicture(*Bytes, Map, Flash.size()));
      if (Text.size() >= 64 * 1024 && !flush())
        return Stop{"cannot write to standard output"};
    }
    if (!flush())
      return Stop{"cannot write to standard output"};
    return std::nullopt;
  }

  // Finds picture Req.Index and reads its bytes into Rows.
  std::optional<Stop> readPicture() {
    const std::string Name = "picture " + std::to_string(Req.Index);
    if (std::optional<Stop> Bad = outOfRange(Req.Index))
      return Bad;
    EntryCursor Cursor(Flash, 0);
    std::optional<EntryBytes> Bytes;
    for (std::int32_t I = 0; I <= Req.Index; ++I) {
      Bytes = Cursor.next();
      if (!Bytes)
        return Stop{noEntry(Req.Index)};
      if (isTableEnd(*Bytes))
        return Stop{Name + " is past the end of the picture table, which "
                           "holds " + std::to_string(I) + " pictures"};
    }
    Picture = placePicture(*Bytes, Map, Flash.size());
    if (Picture.Offset == -1)
      return Stop{Name + ": address " +
                  hex8(static_cast<std::uint32_t>(Picture.Entry.Address)) +
                  " lies in no block of " + Req.ConfigPath};
    if (!Picture.InDump)
      return Stop{Name + ": its " + std::to_string(Picture.Size) +
                  " bytes at offset " +
                  hex8(static_cast<std::uint32_t>(Picture.Offset)) +
                  " run past the end of " + Req.FlashName};
    std::optional<std::vector<std::uint8_t>> Read = readFlashBytes(
        Flash, static_cast<std::uint32_t>(Picture.Offset), Picture.Size);
    if (!Read)
      return Stop{"cannot read " + Req.FlashName};
    Rows = std::move(*Read);
    return std::nullopt;
  }

  std::span<const std::uint8_t> row(std::int32_t Y) const {
    const std::uint32_t Bytes = bytesPerRow(Picture.Entry.Width);
    return std::span(Rows).subspan(std::size_t(Y) * Bytes, Bytes);
  }

  std::optional<Stop> show() {
    std::string Text =
        "Picture " + std::to_string(Req.Index) + ": " +
        sizeText(Picture.Entry) + ", address " +
        hex8(static_cast<std::uint32_t>(Picture.Entry.Address)) + ", offset " +
        hex8(static_cast<std::uint32_t>(Picture.Offset)) + ", " +
        std::to_string(Picture.Size) + " bytes\n";
    for (std::int32_t Y = 0; Y < Picture.Entry.Height; ++Y)
      Text += drawRow(row(Y), Picture.Entry.Width) + "\n";
    if (!writeStdout(Text))
      return Stop{"cannot write to standard output"};
    return std::nullopt;
  }

  std::optional<Stop> save(const std::string &Data) {
    std::vector<FileIdentity> Inputs;
    if (std::optional<FileIdentity> Id = Flash.identity())
      Inputs.push_back(*Id);
    if (std::optional<FileIdentity> Id =
            identifyFile(expandPath(Req.ConfigPath)))
      Inputs.push_back(*Id);
    switch (saveFile(Req.OutputName, Data, Inputs)) {
    case File::CreateResult::Created:
      return std::nullopt;
    case File::CreateResult::IsProtected:
      return Stop{"will not write " + Req.OutputName +
                  ": it is one of the inputs"};
    default:
      return Stop{"cannot write " + Req.OutputName};
    }
  }

  std::optional<Stop> extract() {
    if (Picture.Entry.Width == 0 || Picture.Entry.Height == 0)
      return Stop{"picture " + std::to_string(Req.Index) +
                  " has no pixels (" + sizeText(Picture.Entry) + ")"};
    return save(
        monochromeBmp(Rows, Picture.Entry.Width, Picture.Entry.Height));
  }

  std::optional<Stop> restore() {
    std::string Text = patchHeader(Req.Index) + "\r\n";
    auto Offset = static_cast<std::uint32_t>(Picture.Offset);
    for (std::int32_t Y = 0; Y < Picture.Entry.Height; ++Y) {
      Text += rowLine(Offset, row(Y), Picture.Entry.Width) + "\r\n";
      Offset += bytesPerRow(Picture.Entry.Width);
    }
    return save(Text);
  }
};

} // namespace

int runPics(const std::vector<std::string> &Args) {
  std::variant<Request, Stop> Parsed = parseCommandLine(Args);
  std::optional<Stop> Result;
  if (std::holds_alternative<Stop>(Parsed)) {
    Stop S = std::get<Stop>(Parsed);
    if (S.Code == 0)
      return writeStdout(S.Message) ? 0 : 1;
    Result = S;
  } else {
    Result = PicsRun(std::get<Request>(Parsed)).run();
  }
  if (!Result)
    return 0;
  std::string Text = "torvel-pics: " + Result->Message + "\n";
  if (Result->Code == 2)
    Text += "Try 'torvel-pics --help' for more information.\n";
  writeStderr(Text);
  return Result->Code;
}

} // namespace torvel

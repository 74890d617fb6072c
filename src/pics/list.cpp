#include "pics/commands.h"

#include <cstdio>

namespace torvel {

namespace {

std::string listLine(std::int64_t Index, const PicturePlace &P) {
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

} // namespace

std::optional<Stop> runList(Session &S) {
  const Request &Req = S.Req;
  if (std::optional<Stop> Bad = S.outOfRange(Req.First))
    return Bad;
  EntryCursor Cursor(S.Flash, Req.First);
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
      if (std::optional<Stop> Bad = S.outOfRange(Index))
        return Bad;
      return Stop{S.noEntry(Index)};
    }
    if (!Req.Count && isTableEnd(*Bytes))
      break;
    Text += listLine(Index, placePicture(decodeEntry(*Bytes), S.Map, S.Flash.size()));
    if (Text.size() >= 64 * 1024 && !flush())
      return Stop{"cannot write to standard output"};
  }
  if (!flush())
    return Stop{"cannot write to standard output"};
  return std::nullopt;
}

} // namespace torvel

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
  std::string Text;
  std::optional<Stop> Failed =
      S.walkTable([&](std::int64_t Index, const EntryBytes &Bytes) -> std::optional<Stop> {
        Text += listLine(Index, placePicture(decodeEntry(Bytes), S.Map, S.Flash.size()));
        if (Text.size() >= 64 * 1024) {
          if (!writeStdout(Text))
            return Stop{"cannot write to standard output"};
          Text.clear();
        }
        return std::nullopt;
      });
  // The lines before a failure are shown too.
  if (!writeStdout(Text) && !Failed)
    return Stop{"cannot write to standard output"};
  return Failed;
}

} // namespace torvel

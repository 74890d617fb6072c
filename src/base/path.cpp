#include "base/path.h"

namespace torvel {

std::string baseName(const std::string &Path) {
  std::size_t Pos = Path.size();
  while (Pos > 0 && !isPathDelimiter(Path[Pos - 1]))
    --Pos;
  return Path.substr(Pos);
}

std::string changeFileExt(const std::string &Name,
                          const std::string &Extension) {
  for (std::size_t Pos = Name.size(); Pos > 0; --Pos) {
    char C = Name[Pos - 1];
    if (isPathDelimiter(C))
      break;
    if (C == '.')
      return Name.substr(0, Pos - 1) + Extension;
  }
  return Name + Extension;
}

} // namespace torvel

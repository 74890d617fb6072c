#include "base/path.h"

#include "base/platform.h"

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

std::string executableFolder() {
  const std::string Exe = executablePath();
  std::string Folder = Exe.substr(0, Exe.size() - baseName(Exe).size());
  if (Folder.empty() || !isPathDelimiter(Folder.back()))
    Folder +=
#ifdef _WIN32
        '\\';
#else
        '/';
#endif
  return Folder;
}

} // namespace torvel

// File names as text: the folder delimiters of both platforms, the last
// component and the extension.
#ifndef TORVEL_BASE_PATH_H
#define TORVEL_BASE_PATH_H

#include <string>

namespace torvel {

// True for the characters that end a folder or drive name in a path.
inline bool isPathDelimiter(char C) { return C == '/' || C == '\\' || C == ':'; }

// The file name of Path, without its folder.
std::string baseName(const std::string &Path);

// Name with its extension replaced by Extension (appended when it has none).
std::string changeFileExt(const std::string &Name, const std::string &Extension);

// The folder that holds the running executable, ending in a delimiter.
std::string executableFolder();

} // namespace torvel

#endif

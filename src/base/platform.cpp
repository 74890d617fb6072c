#include "base/platform.h"

#include <algorithm>

namespace torvel {

File::CreateResult saveFile(const std::string &Name, std::string_view Data,
                            std::span<const FileIdentity> Protected) {
  std::optional<FileIdentity> Target = identifyFile(Name);
  if (Target && std::find(Protected.begin(), Protected.end(), *Target) !=
                    Protected.end())
    return File::CreateResult::IsProtected;
  // A leftover of an earlier run may hold the first names.
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Temporary = Name + ".tmp" + std::to_string(Attempt);
    std::optional<File> Out = File::createNew(Temporary);
    if (!Out)
      continue;
    bool Written = Out->write(Data);
    if (Out->close() && Written && replaceFile(Temporary, Name))
      return File::CreateResult::Created;
    removeFile(Temporary);
    return File::CreateResult::Failed;
  }
  return File::CreateResult::Failed;
}

} // namespace torvel

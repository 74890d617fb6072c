#include "pics/patch_files.h"

#include "base/platform.h"

namespace torvel {

std::optional<Stop> readPatchFiles(const std::vector<std::string> &Names,
                                   std::vector<PatchInput> &Inputs) {
  std::vector<File> Files;
  for (const std::string &Name : Names) {
    std::optional<File> Opened =
        File::openForReading(Name, File::Sharing::ReadWrite);
    if (!Opened)
      return Stop{"cannot open patch file " + Name};
    Files.push_back(std::move(*Opened));
  }
  Inputs.clear();
  for (std::size_t I = 0; I < Names.size(); ++I) {
    VkpReadResult Read = readVkp(Files[I]);
    Inputs.push_back({Names[I], std::move(Read.Patch), std::move(Read.Error)});
    Files[I].close();
  }
  return std::nullopt;
}

} // namespace torvel

#include "flash/block_map.h"

#include "base/platform.h"
#include "flash/ini_file.h"

namespace torvel {

namespace {

std::optional<BlockMap> blockMapOf(const TIniFile &Ini) {
  if (!Ini.isOpen())
    return std::nullopt;
  BlockMap Map;
  // The file holds finitely many sections, so the first gap comes.
  for (std::size_t N = 1;; ++N) {
    std::string Section = "Block" + std::to_string(N);
    if (!Ini.sectionExists(Section))
      break;
    tffblock &Block = Map.emplace_back();
    Block.FFOffset = Ini.readInteger(Section, "FFOffset", 0);
    Block.Length = Ini.readInteger(Section, "Length", 0);
    Block.Addr = Ini.readInteger(Section, "Addr", 0);
  }
  return Map;
}

} // namespace

std::optional<BlockMap> readBlockMap(const std::string &Path) {
  return blockMapOf(TIniFile(expandPath(Path)));
}

std::optional<BlockMap> readBlockMap(ByteSource &Text) {
  return blockMapOf(TIniFile("", Text));
}

std::int32_t translateAddress(const BlockMap &Map, std::int32_t Address) {
  for (const tffblock &Block : Map) {
    // A wrapped end holds no address.
    auto End = static_cast<std::int32_t>(static_cast<std::uint32_t>(Block.Addr) +
                                         static_cast<std::uint32_t>(Block.Length));
    if (Address >= Block.Addr && Address < End)
      return static_cast<std::int32_t>(
          static_cast<std::uint32_t>(Address) -
          static_cast<std::uint32_t>(Block.Addr) +
          static_cast<std::uint32_t>(Block.FFOffset));
  }
  return -1;
}

} // namespace torvel

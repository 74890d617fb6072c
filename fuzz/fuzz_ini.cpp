// The configuration reader, the block map built from it and the address
// translation. The whole input is the INI file; its last 16 bytes are also
// taken as four phone addresses to translate.
#include "flash/block_map.h"
#include "fuzz_util.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

const torvel::fuzz::ScratchFolder &folder() {
  static const torvel::fuzz::ScratchFolder Folder("fuzz-ini");
  return Folder;
}

std::int32_t wrap32(std::int64_t Value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(
      static_cast<std::uint64_t>(Value) & 0xFFFFFFFFu));
}

// The translation worked out in 64 bits and wrapped afterwards, as a second
// opinion on the 32-bit code.
std::int32_t referenceTranslate(const torvel::BlockMap &Map,
                                std::int32_t Address) {
  for (const torvel::tffblock &B : Map) {
    const std::int32_t End = wrap32(std::int64_t(B.Addr) + B.Length);
    if (Address >= B.Addr && Address < End)
      return wrap32(std::int64_t(Address) - B.Addr + B.FFOffset);
  }
  return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data,
                                      std::size_t Size) {
  const std::string Name = folder() / "map.ini";
  torvel::fuzz::writeWhole(Name, torvel::fuzz::asText(Data, Size));
  std::optional<torvel::BlockMap> Map = torvel::readBlockMap(Name);
  // The file exists and is readable: only a folder or a missing file fails.
  TORVEL_FUZZ_CHECK(Map.has_value());

  std::vector<std::int32_t> Addresses;
  for (std::size_t At = Size >= 16 ? Size - 16 : Size; At + 4 <= Size; At += 4)
    Addresses.push_back(static_cast<std::int32_t>(
        std::uint32_t(Data[At]) | std::uint32_t(Data[At + 1]) << 8 |
        std::uint32_t(Data[At + 2]) << 16 | std::uint32_t(Data[At + 3]) << 24));
  // Each block's edges are where the comparisons can go wrong; a few blocks
  // are enough, and thousands would make every input slow.
  for (std::size_t I = 0; I < Map->size() && I < 32; ++I) {
    const torvel::tffblock &B = (*Map)[I];
    Addresses.push_back(B.Addr);
    Addresses.push_back(wrap32(std::int64_t(B.Addr) + B.Length - 1));
    Addresses.push_back(wrap32(std::int64_t(B.Addr) + B.Length));
  }
  for (std::int32_t Address : Addresses)
    TORVEL_FUZZ_CHECK(torvel::translateAddress(*Map, Address) ==
                      referenceTranslate(*Map, Address));
  return 0;
}

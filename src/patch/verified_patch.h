// The text of a verified patch: torvel's patch of a picture with the
// dump's current bytes as each record's old data, so that a flasher can
// verify and undo it.
#ifndef TORVEL_PATCH_VERIFIED_PATCH_H
#define TORVEL_PATCH_VERIFIED_PATCH_H

#include "base/sha256.h"
#include "flash/picture_table.h"

#include <cstdint>
#include <span>
#include <string>

namespace torvel {

// What the patch is made from: picture Index, Entry's size at dump Offset,
// its rows as the dump holds them (OldRows) and as they become (NewRows),
// both bytesPerRow(Entry.Width) a row, top row first; and the dump's file
// name without its folder, size and SHA-256. Entry's width and height are
// above 0. The text, CR LF line ends:
//   ; Picture #4
//   ; 40 x 24 pixels at offset 00113000, 120 bytes; each line: offset, old
//     data, new data
//   ; Dump example.bin: 4194304 bytes, SHA-256 <64 lower-case digits>
//   00113000: FFFFFFFFFF 00FF00FF00 ;......XX...
// Control characters of the name are written as '?', so that no name ends
// its comment line.
std::string verifiedPatchText(std::int32_t Index, const PictureEntry &Entry,
                              std::uint32_t Offset,
                              std::span<const std::uint8_t> OldRows,
                              std::span<const std::uint8_t> NewRows,
                              const std::string &DumpBaseName,
                              std::uint64_t DumpSize,
                              const Sha256Digest &DumpHash);

} // namespace torvel

#endif

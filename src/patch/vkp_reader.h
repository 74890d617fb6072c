// The VKP patch text as a flasher reads it: records "ADDRESS: [OLD] NEW",
// address correctors, pragmas and comments. Anything else is an error with
// its line and column; the first one ends the read.
#ifndef TORVEL_PATCH_VKP_READER_H
#define TORVEL_PATCH_VKP_READER_H

#include "base/byte_source.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace torvel {

// The pragmas in force where a record stands, and what it holds.
enum RecordFlag : std::uint8_t {
  HasOldData = 1,       // old data given, or FF bytes by old_equal_ff
  WarnNoOld = 2,        // warn_no_old_on_apply
  WarnNewExists = 4,    // warn_if_new_exist_on_apply
  WarnOldExists = 8,    // warn_if_old_exist_on_undo
  UndoAllowed = 16,     // undo
};

// One record; its bytes lie in the patch's pool, new data then old data.
struct PatchRecord {
  std::uint64_t Line = 0; // 1-based, where the address stands
  std::uint64_t Data = 0; // index of the new data in the pool
  std::uint32_t Offset = 0; // the address plus the corrector in force
  std::uint32_t Length : 24 = 0; // 1 to MaxRecordBytes
  std::uint32_t Flags : 8 = 0;   // RecordFlag bits

  bool has(RecordFlag F) const { return (Flags & F) != 0; }
};

// No picture row comes near this; it keeps a hostile line from costing more.
inline constexpr std::uint32_t MaxRecordBytes = 1u << 20;

struct VkpPatch {
  std::vector<PatchRecord> Records; // in line order
  std::vector<std::uint8_t> Pool;

  std::span<const std::uint8_t> newData(const PatchRecord &R) const;
  // Empty when the record has no old data.
  std::span<const std::uint8_t> oldData(const PatchRecord &R) const;
};

struct VkpError {
  std::uint64_t Line = 0;   // 1-based
  std::uint64_t Column = 0; // 1-based, in bytes
  std::string Message;
};

// "FILE:LINE:COLUMN: message".
std::string formatVkpError(const std::string &File, const VkpError &Error);

struct VkpReadResult {
  VkpPatch Patch;               // empty when Error is set
  std::optional<VkpError> Error;
};

// Reads the whole text of Source, streaming it in pieces: memory is the
// records read, whatever the lengths of lines and comments.
VkpReadResult readVkp(ByteSource &Source);

} // namespace torvel

#endif

// Patches checked against the dump before they are flashed: where records
// lie, whether the dump holds their old data, whether they collide, and
// which pictures they write.
#ifndef TORVEL_PATCH_CHECK_H
#define TORVEL_PATCH_CHECK_H

#include "base/byte_source.h"
#include "flash/block_map.h"
#include "patch/record_index.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace torvel {

// What the check finds, in the order a record's findings are printed.
enum class Finding : std::uint8_t {
  ReadError,       // problem: the patch cannot be read
  OutsideDump,     // problem, even with --force
  NoOldData,       // note when applying; a problem, even forced, in undo
  UndoDisabled,    // problem in undo, even with --force
  Differs,         // problem that --force overrides
  AlreadyThere,    // note: the bytes to write are in the dump already
  Collision,       // problem that --force overrides
  InTable,         // note: writes into the picture table
  OutsidePictures, // note: writes bytes that lie in no picture
};

struct Diagnostic {
  Finding Kind = Finding::ReadError;
  std::uint32_t Patch = 0;
  std::uint32_t Record = 0; // index in its patch
  // Collision: the other record; Detail is the first offset they differ at.
  // Differs: Detail is the first offset where the dump differs from the
  // bytes expected. OutsidePictures: Detail counts the bytes.
  std::uint32_t OtherPatch = 0;
  std::uint32_t OtherRecord = 0;
  std::uint64_t Detail = 0;
};

bool isProblem(Finding Kind, PatchMode Mode);
// Problems that --force does not override.
bool isUnforceable(Finding Kind, PatchMode Mode);

// Picture indexes as ascending runs [first, last].
using IndexRuns = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

struct PatchSummary {
  std::uint64_t Records = 0;
  std::uint64_t Bytes = 0;
  IndexRuns Pictures;           // cut after MaxPictureRuns runs
  std::uint64_t PictureCount = 0; // all of them
  std::uint64_t Problems = 0;
  std::uint64_t Notes = 0;
  // Records whose bytes to write the dump holds already.
  std::uint64_t AlreadyThere = 0;
};

struct CheckOutcome {
  PatchMode Mode = PatchMode::Apply;
  std::uint64_t DumpSize = 0;
  bool DumpUnreadable = false; // the dump gave fewer bytes than it holds
  std::vector<Diagnostic> Diagnostics; // by patch, line and kind
  std::vector<PatchSummary> Summaries;
  std::uint64_t Problems = 0;
  std::uint64_t Unforceable = 0;
  // The records in the dump and the dump's bytes under them.
  RecordIndex Index;
};

inline constexpr std::size_t MaxPictureRuns = 1000;

// Checks Inputs (in command-line order) against Dump, whose picture table
// Map places, as Mode would write them. Reads the table from its start to
// its end entry and neededRanges(Inputs, Dump.size()).
CheckOutcome checkPatches(const std::vector<PatchInput> &Inputs,
                          ByteSource &Dump, const BlockMap &Map,
                          PatchMode Mode);

} // namespace torvel

#endif

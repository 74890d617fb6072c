// Checked records written into a copy of the dump: their final bytes
// worked out once, then laid over each chunk of the dump as it streams.
#ifndef TORVEL_PATCH_APPLY_H
#define TORVEL_PATCH_APPLY_H

#include "patch/check.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace torvel {

struct WritePlan {
  PatchMode Mode = PatchMode::Apply;
  std::vector<Segment> Segments;
  // The dump's bytes under the segments once every record is written.
  std::vector<std::uint8_t> Data;
  std::uint64_t Records = 0;      // records written
  std::uint64_t Bytes = 0;        // their bytes
  std::uint64_t AlreadyThere = 0; // records whose bytes were there already
  std::uint64_t Forced = 0;       // records written over a problem

  // Writes into Chunk, which holds the dump's bytes from Offset on, the
  // plan's bytes that fall in it.
  void applyTo(std::uint64_t Offset, std::span<std::uint8_t> Chunk) const;
};

// Every record that Checked.Mode writes (new data when applying, old data
// in undo), forced ones too, in the order applied, so that a later record
// wins where two overlap. Takes the dump's bytes out of Checked, whose
// report must be written before.
WritePlan planWrites(const std::vector<PatchInput> &Inputs,
                     CheckOutcome &&Checked);

// "OUT: R records applied, B bytes; N already there[; F forced]", without
// a line end ("undone" in undo).
std::string applySummary(const std::string &OutputName, const WritePlan &Plan);

} // namespace torvel

#endif

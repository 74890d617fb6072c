// The patch files that check and apply read, all opened before any is
// read.
#ifndef TORVEL_PICS_PATCH_FILES_H
#define TORVEL_PICS_PATCH_FILES_H

#include "patch/record_index.h"
#include "pics/args.h"

#include <optional>
#include <string>
#include <vector>

namespace torvel {

// Reads each of Names into Inputs, in order; a read error stays with its
// patch. Fails before reading any when one does not open.
std::optional<Stop> readPatchFiles(const std::vector<std::string> &Names,
                                   std::vector<PatchInput> &Inputs);

} // namespace torvel

#endif

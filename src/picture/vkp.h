// The conversion: the picture packed at one bit per pixel into VKP patch
// lines, each "OFFSET: BYTES ;DRAWING".
#ifndef TORVEL_PICTURE_VKP_H
#define TORVEL_PICTURE_VKP_H

#include "driver/run_state.h"
#include "flash/block_map.h"
#include "flash/picture_table.h"

#include <cstdint>
#include <string>
#include <vector>

namespace torvel {

class TBitmap;

// Converts picture Run.PictureIndex from Run.BmpName into Run.Output.
void convertPicture(RunState &Run);

// The row lines (without line ends) of the BMP file BmpName at the size of
// Entry. On failure returns nothing and sets Status.
std::vector<std::string> buildRowLines(const PictureEntry &Entry,
                                       const std::string &BmpName,
                                       const BlockMap &Map,
                                       std::string &Status);

// One row line of Picture: Offset, the packed bytes (leftmost pixel in bit 7,
// ink = 1, bits beyond the width set) and the drawing.
std::string packRow(const TBitmap &Picture, std::int32_t Y,
                    std::uint32_t Offset);

} // namespace torvel

#endif

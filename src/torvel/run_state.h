// The run-wide record that every stage reads and writes.
#ifndef TORVEL_TORVEL_RUN_STATE_H
#define TORVEL_TORVEL_RUN_STATE_H

#include "base/platform.h"
#include "flash/block_map.h"

#include <cstdint>
#include <string>

namespace torvel {

struct RunState {
  std::string BmpName;
  std::string FlashName;
  std::int32_t PictureIndex = -1;
  std::string OutputName;
  std::string ConfigPath;
  std::string ErrorName;
  // Empty while every stage has succeeded; else the one failure to report.
  std::string Status;
  File Flash;
  File Output;
  BlockMap Map;
};

} // namespace torvel

#endif

// What every command of the picture tool shares: the request, the block
// map and the open dump, the lookup of a picture and the writing of files.
#ifndef TORVEL_PICS_SESSION_H
#define TORVEL_PICS_SESSION_H

#include "base/platform.h"
#include "flash/block_map.h"
#include "flash/picture_table.h"
#include "pics/args.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace torvel {

// A picture of the table, found and, when asked for, read.
struct Picture {
  std::int32_t Index = 0;
  PicturePlace Place;
  // Its rows as the dump holds them, top row first.
  std::vector<std::uint8_t> Rows;

  std::uint32_t rowBytes() const;
  std::span<const std::uint8_t> row(std::int32_t Y) const;
};

// The refusal of a picture of width or height 0, which no file or patch
// can hold; nothing for any other.
std::optional<Stop> refuseNoPixels(const Picture &P);

// How far a picture lookup must get.
enum class Need {
  Entry,  // the table holds it
  Mapped, // and a block maps it
  Bytes,  // and the dump holds its rows, which are read
};

class Session {
public:
  explicit Session(const Request &R) : Req(R) {}

  // Reads the block map and opens the dump.
  std::optional<Stop> open();

  // Finds picture Index in the table, as far as Level asks.
  std::optional<Stop> findPicture(std::int32_t Index, Need Level,
                                  Picture &Out);

  // Visits the table's entries from Req.First on: up to the table's end,
  // or exactly Req.Count of them. A failure of Visit ends the walk and comes
  // back, as does an entry the dump does not hold where one is needed.
  std::optional<Stop> walkTable(
      const std::function<std::optional<Stop>(std::int64_t Index,
                                              const EntryBytes &Bytes)> &Visit);

  // A picture index outside 0 to MaxPictureIndex, as a failure.
  std::optional<Stop> outOfRange(std::int64_t Index) const;
  // The message for a dump that ends before table entry Index.
  std::string noEntry(std::int64_t Index) const;

  // The files an output must never overwrite: the dump, the configuration
  // and the named files.
  std::vector<FileIdentity>
  inputs(const std::vector<std::string> &Names = {}) const;

  // Writes Data as Name, whole or not at all, never over an input.
  std::optional<Stop> save(const std::string &Name, std::string_view Data,
                           const std::vector<std::string> &Inputs = {}) const;
  // The failure to report when a write of Name ended with Result.
  static std::optional<Stop> saveFailure(const std::string &Name,
                                         File::CreateResult Result);

  const Request &Req;
  BlockMap Map;
  File Flash;
};

} // namespace torvel

#endif

// Helpers shared by the fuzz targets: a private scratch folder per process
// and whole-file writes and reads.
#ifndef TORVEL_FUZZ_FUZZ_UTIL_H
#define TORVEL_FUZZ_FUZZ_UTIL_H

#include "flash/picture_table.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace torvel::fuzz {

// Stops the fuzzer with a finding when an invariant breaks.
#define TORVEL_FUZZ_CHECK(Cond)                                                \
  do {                                                                         \
    if (!(Cond)) {                                                             \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__,    \
                   #Cond);                                                     \
      std::abort();                                                            \
    }                                                                          \
  } while (0)

// A folder of our own under $TMPDIR (or /tmp), removed when the process ends
// normally.
class ScratchFolder {
public:
  explicit ScratchFolder(const char *Tag) {
    const char *Base = std::getenv("TMPDIR");
    std::string Pattern = std::string(Base && *Base ? Base : "/tmp") +
                          "/torvel-" + Tag + "-XXXXXX";
    if (!::mkdtemp(Pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    Path = Pattern;
  }
  ~ScratchFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path, Ignored);
  }
  ScratchFolder(const ScratchFolder &) = delete;
  ScratchFolder &operator=(const ScratchFolder &) = delete;

  std::string operator/(std::string_view Name) const {
    return Path + "/" + std::string(Name);
  }
  const std::string &path() const { return Path; }

private:
  std::string Path;
};

inline void writeWhole(const std::string &Path, std::string_view Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  Out.close();
  TORVEL_FUZZ_CHECK(Out.good());
}

inline std::string readWhole(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

// A fullflash holding Table at the picture table's offset, sparse before it;
// an empty Table gives an empty file.
inline void writeDump(const std::string &Path, std::string_view Table) {
  const int Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  TORVEL_FUZZ_CHECK(Fd >= 0);
  if (!Table.empty()) {
    const auto At = static_cast<off_t>(torvel::PictureTableOffset);
    TORVEL_FUZZ_CHECK(::ftruncate(Fd, At) == 0);
    TORVEL_FUZZ_CHECK(::pwrite(Fd, Table.data(), Table.size(), At) ==
                      static_cast<ssize_t>(Table.size()));
  }
  TORVEL_FUZZ_CHECK(::close(Fd) == 0);
}

inline std::string_view asText(const std::uint8_t *Data, std::size_t Size) {
  return {reinterpret_cast<const char *>(Data), Size};
}

} // namespace torvel::fuzz

#endif

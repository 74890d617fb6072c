// Shared helpers for the tests: scratch folders, files and child runs.
#ifndef TORVEL_TESTS_TEST_UTIL_H
#define TORVEL_TESTS_TEST_UTIL_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvel::test {

// A new empty folder under the test temp folder, removed on destruction.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::string &path() const { return Path; }
  // Path of Name inside the folder.
  std::string operator/(std::string_view Name) const;

private:
  std::string Path;
};

void writeFile(const std::string &Path, std::string_view Bytes);
void writeFile(const std::string &Path, const std::vector<std::uint8_t> &Bytes);
std::optional<std::string> readFile(const std::string &Path);
bool fileExists(const std::string &Path);

struct RunResult {
  int ExitCode = -1; // -1 when a signal ended the child
  bool TimedOut = false;
  std::string Stdout;
  std::string Stderr;
};

// Bounds on a child run; zero leaves a bound off.
struct RunLimits {
  // The child's address space (RLIMIT_AS), in bytes; POSIX only.
  std::uint64_t AddressSpace = 0;
  // The child is killed once this has passed, and the result says TimedOut.
  std::chrono::milliseconds WallClock{0};
};

// Runs Exe with Args in folder Cwd and collects its output.
RunResult runProgram(const std::string &Exe,
                     const std::vector<std::string> &Args,
                     const std::string &Cwd, const RunLimits &Limits = {});

// Runs the built torvel.
RunResult runTorvel(const std::vector<std::string> &Args,
                    const std::string &Cwd, const RunLimits &Limits = {});

// The folder of the test data files.
std::string dataPath(std::string_view Name);

} // namespace torvel::test

#endif

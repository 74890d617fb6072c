// Shared helpers for the tests: scratch folders, files and child runs.
#ifndef TORVEL_TESTS_TEST_UTIL_H
#define TORVEL_TESTS_TEST_UTIL_H

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
std::optional<std::string> readFile(const std::string &Path);

struct RunResult {
  int ExitCode = -1; // -1 when a signal ended the child
  std::string Stdout;
  std::string Stderr;
};

// Runs Exe with Args in folder Cwd and collects its output.
RunResult runProgram(const std::string &Exe, const std::vector<std::string> &Args,
                     const std::string &Cwd);

} // namespace torvel::test

#endif

#include "test_util.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace torvel::test {

ScratchDir::ScratchDir() {
  static std::atomic<int> Counter{0};
  fs::path Base = fs::path(::testing::TempDir());
  for (;;) {
    fs::path Candidate =
        Base / ("torvel-" + std::to_string(
#ifdef _WIN32
                                 0
#else
                                 ::getpid()
#endif
                                 ) +
                "-" + std::to_string(Counter++));
    if (fs::create_directories(Candidate)) {
      Path = Candidate.string();
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code Ignored;
  fs::permissions(Path, fs::perms::owner_all, fs::perm_options::add, Ignored);
  fs::remove_all(Path, Ignored);
}

std::string ScratchDir::operator/(std::string_view Name) const {
  return (fs::path(Path) / fs::path(std::string(Name))).string();
}

void writeFile(const std::string &Path, std::string_view Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!Out)
    throw std::runtime_error("cannot write " + Path);
}

void writeFile(const std::string &Path, const std::vector<std::uint8_t> &Bytes) {
  writeFile(Path, std::string_view(reinterpret_cast<const char *>(Bytes.data()),
                                   Bytes.size()));
}

std::optional<std::string> readFile(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(In), {});
}

bool fileExists(const std::string &Path) {
  std::error_code Ignored;
  return fs::exists(Path, Ignored);
}

#ifndef _WIN32
RunResult runProgram(const std::string &Exe,
                     const std::vector<std::string> &Args,
                     const std::string &Cwd) {
  ScratchDir Capture;
  std::string OutPath = Capture / "stdout", ErrPath = Capture / "stderr";
  pid_t Pid = ::fork();
  if (Pid < 0)
    throw std::runtime_error("fork failed");
  if (Pid == 0) {
    int Out = ::open(OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int Err = ::open(ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (Out < 0 || Err < 0 || ::dup2(Out, 1) < 0 || ::dup2(Err, 2) < 0 ||
        ::chdir(Cwd.c_str()) != 0)
      ::_exit(127);
    std::vector<char *> Argv;
    Argv.push_back(const_cast<char *>(Exe.c_str()));
    for (const std::string &A : Args)
      Argv.push_back(const_cast<char *>(A.c_str()));
    Argv.push_back(nullptr);
    ::execv(Exe.c_str(), Argv.data());
    ::_exit(127);
  }
  int WaitStatus = 0;
  while (::waitpid(Pid, &WaitStatus, 0) < 0) {
  }
  RunResult Result;
  Result.ExitCode = WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : -1;
  Result.Stdout = readFile(OutPath).value_or("");
  Result.Stderr = readFile(ErrPath).value_or("");
  return Result;
}
#endif

RunResult runTorvel(const std::vector<std::string> &Args,
                    const std::string &Cwd) {
  return runProgram(TORVEL_EXE, Args, Cwd);
}

std::string dataPath(std::string_view Name) {
  return (fs::path(TORVEL_TEST_DATA) / fs::path(std::string(Name))).string();
}

} // namespace torvel::test

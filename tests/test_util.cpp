#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace torvel::test {

ScratchDir::ScratchDir() {
  static int Counter = 0;
  const fs::path Base = fs::path(::testing::TempDir()) / "torvel";
  fs::create_directories(Base);
  while (!fs::create_directory(Base / std::to_string(++Counter)))
    ;
  Path = (Base / std::to_string(Counter)).string();
}

ScratchDir::~ScratchDir() {
  std::error_code Ignored;
  fs::remove_all(Path, Ignored);
}

std::string ScratchDir::operator/(std::string_view Name) const {
  return (fs::path(Path) / fs::path(std::string(Name))).string();
}

void writeFile(const std::string &Path, std::string_view Bytes) {
  std::ofstream(Path, std::ios::binary).write(Bytes.data(), std::streamsize(Bytes.size()));
}

std::optional<std::string> readFile(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(In), {});
}

namespace {

#ifdef _WIN32
// The runtime joins the words with spaces: quote each so that the child's
// runtime splits them back unchanged.
std::string quoted(const std::string &Arg) {
  if (!Arg.empty() && Arg.find_first_of(" \t\"") == std::string::npos)
    return Arg;
  std::string Text = "\"";
  std::size_t Backslashes = 0;
  for (char C : Arg) {
    if (C == '"')
      Text.append(Backslashes + 1, '\\');
    Backslashes = C == '\\' ? Backslashes + 1 : 0;
    Text += C;
  }
  return Text.append(Backslashes, '\\') + '"';
}

int spawnAndWait(const std::string &Exe, const std::vector<std::string> &Args) {
  std::vector<std::string> Words = {quoted(Exe)};
  for (const std::string &Arg : Args)
    Words.push_back(quoted(Arg));
  std::vector<const char *> Argv;
  for (const std::string &Word : Words)
    Argv.push_back(Word.c_str());
  Argv.push_back(nullptr);
  return int(::_spawnv(_P_WAIT, Exe.c_str(), Argv.data()));
}
#else
int spawnAndWait(const std::string &Exe, const std::vector<std::string> &Args) {
  std::vector<char *> Argv = {const_cast<char *>(Exe.c_str())};
  for (const std::string &Arg : Args)
    Argv.push_back(const_cast<char *>(Arg.c_str()));
  Argv.push_back(nullptr);
  pid_t Pid;
  int Status = 0;
  if (::posix_spawn(&Pid, Exe.c_str(), nullptr, nullptr, Argv.data(), environ) != 0 ||
      ::waitpid(Pid, &Status, 0) != Pid)
    return -1;
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}
#endif

} // namespace

RunResult runProgram(const std::string &Exe, const std::vector<std::string> &Args,
                     const std::string &Cwd) {
  // The child inherits our folder and standard streams, turned to files for its run.
  ScratchDir Capture;
  const std::string Paths[] = {Capture / "stdout", Capture / "stderr"};
  std::fflush(nullptr);
  int Saved[2];
  for (int Fd : {1, 2}) {
    Saved[Fd - 1] = dup(Fd);
    const int File = open(Paths[Fd - 1].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(File, Fd);
    close(File);
  }
  const fs::path Home = fs::current_path();
  fs::current_path(Cwd);
  RunResult Result;
  Result.ExitCode = spawnAndWait(Exe, Args);
  fs::current_path(Home);
  for (int Fd : {1, 2}) {
    dup2(Saved[Fd - 1], Fd);
    close(Saved[Fd - 1]);
  }
  Result.Stdout = readFile(Paths[0]).value_or("");
  Result.Stderr = readFile(Paths[1]).value_or("");
  return Result;
}

} // namespace torvel::test

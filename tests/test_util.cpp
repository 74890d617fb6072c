#include "test_util.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
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
                                 ::GetCurrentProcessId()
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

#ifdef _WIN32
namespace {

// Quotes Arg so that the C runtime's argv parsing gives it back unchanged:
// backslashes double only before a quote or the closing quote.
void appendQuoted(std::string &Line, const std::string &Arg) {
  if (!Arg.empty() && Arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    Line += Arg;
    return;
  }
  Line += '"';
  std::size_t Backslashes = 0;
  for (char C : Arg) {
    if (C == '\\') {
      ++Backslashes;
      continue;
    }
    Line.append(C == '"' ? 2 * Backslashes + 1 : Backslashes, '\\');
    Backslashes = 0;
    Line += C;
  }
  Line.append(2 * Backslashes, '\\');
  Line += '"';
}

HANDLE createCapture(const std::string &Path) {
  SECURITY_ATTRIBUTES Inherit{sizeof Inherit, nullptr, TRUE};
  return ::CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &Inherit,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string quoteCommandLine(const std::string &Exe,
                             const std::vector<std::string> &Args) {
  // The program name is taken up to the next quote, without escapes.
  std::string Line = '"' + Exe + '"';
  for (const std::string &A : Args) {
    Line += ' ';
    appendQuoted(Line, A);
  }
  return Line;
}

} // namespace

RunResult runProgram(const std::string &Exe,
                     const std::vector<std::string> &Args,
                     const std::string &Cwd, const RunLimits &Limits) {
  ScratchDir Capture;
  std::string OutPath = Capture / "stdout", ErrPath = Capture / "stderr";
  HANDLE Out = createCapture(OutPath), Err = createCapture(ErrPath);
  SECURITY_ATTRIBUTES Inherit{sizeof Inherit, nullptr, TRUE};
  HANDLE In = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ, &Inherit,
                            OPEN_EXISTING, 0, nullptr);
  if (Out == INVALID_HANDLE_VALUE || Err == INVALID_HANDLE_VALUE ||
      In == INVALID_HANDLE_VALUE) {
    for (HANDLE H : {Out, Err, In})
      if (H != INVALID_HANDLE_VALUE)
        ::CloseHandle(H);
    throw std::runtime_error("cannot create the capture files");
  }

  STARTUPINFOA Startup{};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdInput = In;
  Startup.hStdOutput = Out;
  Startup.hStdError = Err;
  PROCESS_INFORMATION Process{};
  std::string Line = quoteCommandLine(Exe, Args);
  BOOL Started = ::CreateProcessA(Exe.c_str(), Line.data(), nullptr, nullptr,
                                  TRUE, CREATE_NO_WINDOW, nullptr, Cwd.c_str(),
                                  &Startup, &Process);
  ::CloseHandle(Out);
  ::CloseHandle(Err);
  ::CloseHandle(In);
  if (!Started)
    throw std::runtime_error("cannot start " + Exe);
  RunResult Result;
  const DWORD Wait = Limits.WallClock.count() > 0
                         ? static_cast<DWORD>(Limits.WallClock.count())
                         : INFINITE;
  if (::WaitForSingleObject(Process.hProcess, Wait) == WAIT_TIMEOUT) {
    ::TerminateProcess(Process.hProcess, 1);
    ::WaitForSingleObject(Process.hProcess, INFINITE);
    Result.TimedOut = true;
  }
  DWORD Code = 0;
  if (::GetExitCodeProcess(Process.hProcess, &Code))
    Result.ExitCode = static_cast<int>(Code);
  ::CloseHandle(Process.hThread);
  ::CloseHandle(Process.hProcess);
  Result.Stdout = readFile(OutPath).value_or("");
  Result.Stderr = readFile(ErrPath).value_or("");
  return Result;
}
#else
RunResult runProgram(const std::string &Exe,
                     const std::vector<std::string> &Args,
                     const std::string &Cwd, const RunLimits &Limits) {
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
    if (Limits.AddressSpace != 0) {
      const rlimit Space{static_cast<rlim_t>(Limits.AddressSpace),
                         static_cast<rlim_t>(Limits.AddressSpace)};
      if (::setrlimit(RLIMIT_AS, &Space) != 0)
        ::_exit(127);
    }
    ::execv(Exe.c_str(), Argv.data());
    ::_exit(127);
  }
  RunResult Result;
  int WaitStatus = 0;
  const bool Timed = Limits.WallClock.count() > 0;
  const auto Deadline = std::chrono::steady_clock::now() + Limits.WallClock;
  for (;;) {
    pid_t Done = ::waitpid(Pid, &WaitStatus, Timed ? WNOHANG : 0);
    if (Done == Pid)
      break;
    if (Done < 0 && errno != EINTR)
      throw std::runtime_error("waitpid failed");
    if (Timed && std::chrono::steady_clock::now() >= Deadline) {
      ::kill(Pid, SIGKILL);
      while (::waitpid(Pid, &WaitStatus, 0) < 0 && errno == EINTR) {
      }
      Result.TimedOut = true;
      break;
    }
    if (Done == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Result.ExitCode = WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : -1;
  Result.Stdout = readFile(OutPath).value_or("");
  Result.Stderr = readFile(ErrPath).value_or("");
  return Result;
}

#endif

RunResult runTorvel(const std::vector<std::string> &Args,
                    const std::string &Cwd, const RunLimits &Limits) {
  return runProgram(TORVEL_EXE, Args, Cwd, Limits);
}

std::string dataPath(std::string_view Name) {
  return (fs::path(TORVEL_TEST_DATA) / fs::path(std::string(Name))).string();
}

} // namespace torvel::test

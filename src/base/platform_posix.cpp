#include "base/platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace torvel {

namespace {

FileIdentity identityFromStat(const struct stat &St) {
  return {static_cast<std::uint64_t>(St.st_dev),
          static_cast<std::uint64_t>(St.st_ino)};
}

bool writeAll(int Fd, std::string_view Text) {
  while (!Text.empty()) {
    ssize_t N = ::write(Fd, Text.data(), Text.size());
    if (N < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    Text.remove_prefix(static_cast<std::size_t>(N));
  }
  return true;
}

// Drops O_NONBLOCK once the open itself can no longer hang.
void makeBlocking(int Fd) {
  int Flags = ::fcntl(Fd, F_GETFL);
  if (Flags >= 0)
    ::fcntl(Fd, F_SETFL, Flags & ~O_NONBLOCK);
}

} // namespace

File::File(File &&Other) noexcept
    : Fd(std::exchange(Other.Fd, -1)), Size(Other.Size), Ok(Other.Ok) {}

File &File::operator=(File &&Other) noexcept {
  if (this != &Other) {
    close();
    Fd = std::exchange(Other.Fd, -1);
    Size = Other.Size;
    Ok = Other.Ok;
  }
  return *this;
}

File::~File() { close(); }

std::optional<File> File::openForReading(const std::string &Name, Sharing) {
  // POSIX has no share modes; a plain read-only open is the closest match.
  int Fd = ::open(Name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (Fd < 0)
    return std::nullopt;
  struct stat St;
  if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    ::close(Fd);
    return std::nullopt;
  }
  makeBlocking(Fd);
  File F;
  F.Fd = Fd;
  F.Size = static_cast<std::uint64_t>(St.st_size);
  return F;
}

File::CreateResult File::createForWriting(
    const std::string &Name, std::span<const FileIdentity> Protected,
    File &Out) {
  // Open without truncating first, so a protected file is never harmed.
  // O_NONBLOCK keeps a FIFO without a reader from hanging the open.
  int Fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC,
                  0666);
  if (Fd < 0)
    return CreateResult::Failed;
  struct stat St;
  if (::fstat(Fd, &St) != 0) {
    ::close(Fd);
    return CreateResult::Failed;
  }
  if (std::find(Protected.begin(), Protected.end(), identityFromStat(St)) !=
      Protected.end()) {
    ::close(Fd);
    return CreateResult::IsProtected;
  }
  if (S_ISREG(St.st_mode) && ::ftruncate(Fd, 0) != 0) {
    ::close(Fd);
    return CreateResult::Failed;
  }
  makeBlocking(Fd);
  Out = File();
  Out.Fd = Fd;
  return CreateResult::Created;
}

std::optional<File> File::createNew(const std::string &Name) {
  int Fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (Fd < 0)
    return std::nullopt;
  File F;
  F.Fd = Fd;
  return F;
}

bool File::isOpen() const { return Fd >= 0; }

std::uint64_t File::size() const { return Size; }

std::optional<FileIdentity> File::identity() const {
  struct stat St;
  if (Fd < 0 || ::fstat(Fd, &St) != 0)
    return std::nullopt;
  return identityFromStat(St);
}

std::size_t File::readAt(std::uint64_t Offset, std::span<std::uint8_t> Buffer) {
  std::size_t Done = 0;
  while (Done < Buffer.size()) {
    if (Offset + Done > static_cast<std::uint64_t>(LLONG_MAX))
      break;
    ssize_t N = ::pread(Fd, Buffer.data() + Done, Buffer.size() - Done,
                        static_cast<off_t>(Offset + Done));
    if (N < 0 && errno == EINTR)
      continue;
    if (N <= 0)
      break;
    Done += static_cast<std::size_t>(N);
  }
  return Done;
}

bool File::write(std::string_view Text) {
  if (Fd < 0 || !writeAll(Fd, Text))
    Ok = false;
  return Ok;
}

bool File::close() {
  if (Fd < 0)
    return Ok;
  if (::close(std::exchange(Fd, -1)) != 0)
    Ok = false;
  return Ok;
}

std::optional<FileIdentity> identifyFile(const std::string &Name) {
  struct stat St;
  if (Name.empty() || ::stat(Name.c_str(), &St) != 0)
    return std::nullopt;
  return identityFromStat(St);
}

std::string executablePath() {
  std::vector<char> Buffer(4096);
  ssize_t N = ::readlink("/proc/self/exe", Buffer.data(), Buffer.size());
  if (N <= 0 || static_cast<std::size_t>(N) >= Buffer.size())
    return "torvel";
  return std::string(Buffer.data(), static_cast<std::size_t>(N));
}

std::string expandPath(const std::string &Path) {
  if (!Path.empty() && Path.front() == '/')
    return Path;
  std::vector<char> Buffer(4096);
  if (!::getcwd(Buffer.data(), Buffer.size()))
    return Path;
  std::string Full(Buffer.data());
  if (Full.empty() || Full.back() != '/')
    Full += '/';
  return Full + Path;
}

bool replaceFile(const std::string &From, const std::string &To) {
  return ::rename(From.c_str(), To.c_str()) == 0;
}

bool removeFile(const std::string &Name) { return ::unlink(Name.c_str()) == 0; }

bool writeStdout(std::string_view Text) { return writeAll(STDOUT_FILENO, Text); }

bool writeStderr(std::string_view Text) { return writeAll(STDERR_FILENO, Text); }

} // namespace torvel

#include "base/platform.h"

#include <algorithm>
#include <utility>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace torvel {

namespace {

// Largest piece one ReadFile or WriteFile call takes.
constexpr std::size_t MaxChunk = 1u << 30;

HANDLE toHandle(void *H) { return static_cast<HANDLE>(H); }

FileIdentity identityFromInfo(const BY_HANDLE_FILE_INFORMATION &Info) {
  return {Info.dwVolumeSerialNumber,
          std::uint64_t(Info.nFileIndexHigh) << 32 | Info.nFileIndexLow};
}

std::optional<BY_HANDLE_FILE_INFORMATION> fileInfo(HANDLE H) {
  BY_HANDLE_FILE_INFORMATION Info;
  if (!::GetFileInformationByHandle(H, &Info))
    return std::nullopt;
  return Info;
}

bool isFolder(const BY_HANDLE_FILE_INFORMATION &Info) {
  return (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool writeAll(HANDLE H, std::string_view Text) {
  while (!Text.empty()) {
    DWORD Want = static_cast<DWORD>(std::min(Text.size(), MaxChunk));
    DWORD Done = 0;
    if (!::WriteFile(H, Text.data(), Want, &Done, nullptr) || Done == 0)
      return false;
    Text.remove_prefix(Done);
  }
  return true;
}

} // namespace

File::File(File &&Other) noexcept
    : Handle(std::exchange(Other.Handle, nullptr)), Size(Other.Size),
      Ok(Other.Ok) {}

File &File::operator=(File &&Other) noexcept {
  if (this != &Other) {
    close();
    Handle = std::exchange(Other.Handle, nullptr);
    Size = Other.Size;
    Ok = Other.Ok;
  }
  return *this;
}

File::~File() { close(); }

std::optional<File> File::openForReading(const std::string &Name,
                                         Sharing Share) {
  DWORD ShareMode = Share == Sharing::ReadWrite
                        ? FILE_SHARE_READ | FILE_SHARE_WRITE
                        : FILE_SHARE_READ;
  HANDLE H = ::CreateFileA(Name.c_str(), GENERIC_READ, ShareMode, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE)
    return std::nullopt;
  File F;
  F.Handle = H;
  // Consoles, pipes and folders could hang a read or mean nothing.
  std::optional<BY_HANDLE_FILE_INFORMATION> Info;
  LARGE_INTEGER Size;
  if (::GetFileType(H) != FILE_TYPE_DISK || !(Info = fileInfo(H)) ||
      isFolder(*Info) || !::GetFileSizeEx(H, &Size) || Size.QuadPart < 0)
    return std::nullopt;
  F.Size = static_cast<std::uint64_t>(Size.QuadPart);
  return F;
}

File::CreateResult File::createForWriting(
    const std::string &Name, std::span<const FileIdentity> Protected,
    File &Out) {
  // OPEN_ALWAYS rather than CREATE_ALWAYS: a protected file must be
  // recognised before anything in it is cut.
  HANDLE H = ::CreateFileA(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE)
    return CreateResult::Failed;
  File F;
  F.Handle = H;
  // Devices such as NUL have no identity and nothing to cut.
  if (::GetFileType(H) == FILE_TYPE_DISK) {
    std::optional<BY_HANDLE_FILE_INFORMATION> Info = fileInfo(H);
    if (!Info || isFolder(*Info))
      return CreateResult::Failed;
    if (std::find(Protected.begin(), Protected.end(),
                  identityFromInfo(*Info)) != Protected.end())
      return CreateResult::IsProtected;
    LARGE_INTEGER Start{};
    if (!::SetFilePointerEx(H, Start, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(H))
      return CreateResult::Failed;
  }
  Out = std::move(F);
  return CreateResult::Created;
}

std::optional<File> File::createNew(const std::string &Name) {
  HANDLE H = ::CreateFileA(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE)
    return std::nullopt;
  File F;
  F.Handle = H;
  return F;
}

bool File::isOpen() const { return Handle != nullptr; }

std::uint64_t File::size() const { return Size; }

std::optional<FileIdentity> File::identity() const {
  if (!Handle)
    return std::nullopt;
  std::optional<BY_HANDLE_FILE_INFORMATION> Info = fileInfo(toHandle(Handle));
  if (!Info)
    return std::nullopt;
  return identityFromInfo(*Info);
}

std::size_t File::readAt(std::uint64_t Offset, std::span<std::uint8_t> Buffer) {
  std::size_t Done = 0;
  while (Handle && Done < Buffer.size()) {
    std::uint64_t At = Offset + Done;
    // Offsets are signed 64-bit to the system.
    if (At < Offset || At > std::uint64_t(INT64_MAX))
      break;
    OVERLAPPED Where{};
    Where.Offset = static_cast<DWORD>(At);
    Where.OffsetHigh = static_cast<DWORD>(At >> 32);
    DWORD Want = static_cast<DWORD>(std::min(Buffer.size() - Done, MaxChunk));
    DWORD Got = 0;
    if (!::ReadFile(toHandle(Handle), Buffer.data() + Done, Want, &Got,
                    &Where) ||
        Got == 0)
      break;
    Done += Got;
  }
  return Done;
}

bool File::write(std::string_view Text) {
  if (!Handle || !writeAll(toHandle(Handle), Text))
    Ok = false;
  return Ok;
}

bool File::close() {
  if (!Handle)
    return Ok;
  HANDLE H = toHandle(std::exchange(Handle, nullptr));
  // A write that failed on its way to the disk (a network share) shows up
  // only here; a handle without write access is refused with
  // ERROR_ACCESS_DENIED, having nothing to flush.
  if (::GetFileType(H) == FILE_TYPE_DISK && !::FlushFileBuffers(H) &&
      ::GetLastError() != ERROR_ACCESS_DENIED)
    Ok = false;
  if (!::CloseHandle(H))
    Ok = false;
  return Ok;
}

std::optional<FileIdentity> identifyFile(const std::string &Name) {
  if (Name.empty())
    return std::nullopt;
  // No access asked for, and folders allowed: only the identity is wanted.
  HANDLE H = ::CreateFileA(
      Name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (H == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::optional<BY_HANDLE_FILE_INFORMATION> Info = fileInfo(H);
  ::CloseHandle(H);
  if (!Info)
    return std::nullopt;
  return identityFromInfo(*Info);
}

std::string executablePath() {
  std::vector<char> Buffer(MAX_PATH);
  for (;;) {
    DWORD Size = static_cast<DWORD>(Buffer.size());
    DWORD N = ::GetModuleFileNameA(nullptr, Buffer.data(), Size);
    if (N == 0)
      return "torvel.exe";
    // A full buffer means the name was cut.
    if (N < Size)
      return std::string(Buffer.data(), N);
    if (Buffer.size() >= 32768)
      return "torvel.exe";
    Buffer.resize(Buffer.size() * 2);
  }
}

std::string expandPath(const std::string &Path) {
  DWORD Needed = ::GetFullPathNameA(Path.c_str(), 0, nullptr, nullptr);
  if (Needed == 0)
    return Path;
  std::vector<char> Buffer(Needed);
  DWORD N = ::GetFullPathNameA(Path.c_str(), Needed, Buffer.data(), nullptr);
  if (N == 0 || N >= Needed)
    return Path;
  return std::string(Buffer.data(), N);
}

bool replaceFile(const std::string &From, const std::string &To) {
  return ::MoveFileExA(From.c_str(), To.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool removeFile(const std::string &Name) {
  return ::DeleteFileA(Name.c_str()) != 0;
}

namespace {

bool writeStd(DWORD Which, std::string_view Text) {
  HANDLE Out = ::GetStdHandle(Which);
  if (Out == nullptr || Out == INVALID_HANDLE_VALUE)
    return false;
  return writeAll(Out, Text);
}

} // namespace

bool writeStdout(std::string_view Text) {
  return writeStd(STD_OUTPUT_HANDLE, Text);
}

bool writeStderr(std::string_view Text) {
  return writeStd(STD_ERROR_HANDLE, Text);
}

} // namespace torvel

// Portable file access and process facts: the only code that talks to the
// operating system. Names go to the file system byte for byte.
#ifndef TORVEL_BASE_PLATFORM_H
#define TORVEL_BASE_PLATFORM_H

#include "base/byte_source.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace torvel {

// Which file on disk a name leads to (device and inode, or volume and index).
struct FileIdentity {
  std::uint64_t Volume = 0;
  std::uint64_t Index = 0;
  bool operator==(const FileIdentity &) const = default;
};

// An open file, closed when it goes out of scope. Move-only.
class File : public ByteSource {
public:
  enum class Sharing {
    ReadOnly,  // others may read the file while we hold it, not write it
    ReadWrite, // others may read and write it
  };
  enum class CreateResult { Created, Failed, IsProtected };

  File() = default;
  File(File &&Other) noexcept;
  File &operator=(File &&Other) noexcept;
  File(const File &) = delete;
  File &operator=(const File &) = delete;
  ~File() override;

  // Opens an existing regular file for reading only. Folders, devices and
  // pipes fail, so that no read can hang.
  static std::optional<File> openForReading(const std::string &Name,
                                            Sharing Share);

  // Creates a file for writing, or truncates it. When the name leads to one
  // of the Protected files nothing is touched and IsProtected comes back.
  static CreateResult createForWriting(const std::string &Name,
                                       std::span<const FileIdentity> Protected,
                                       File &Out);

  // Creates a new file for writing; fails when Name exists already.
  static std::optional<File> createNew(const std::string &Name);

  bool isOpen() const;
  std::uint64_t size() const override;
  std::optional<FileIdentity> identity() const;

  std::size_t readAt(std::uint64_t Offset,
                     std::span<std::uint8_t> Buffer) override;

  // Writes all of Text; false on any failure.
  bool write(std::string_view Text);

  // Closes the file; false when the system reports an error on the way
  // (a full disk may show only here). Closing a closed file is fine.
  bool close();

private:
#ifdef _WIN32
  void *Handle = nullptr;
#else
  int Fd = -1;
#endif
  std::uint64_t Size = 0;
  bool Ok = true;
};

// The identity of the file a name leads to, if it exists.
std::optional<FileIdentity> identifyFile(const std::string &Name);

// Full path of the running executable.
std::string executablePath();

// The path made absolute against the current directory.
std::string expandPath(const std::string &Path);

// A file written under a temporary name beside its target and renamed into
// place by commit(), so that it is whole or absent. Dropped, it leaves
// nothing behind. Move-only.
class StagedFile {
public:
  // Starts Name. A name that leads to one of Protected is left alone and
  // IsProtected comes back; Failed when no temporary file can be made.
  static File::CreateResult create(const std::string &Name,
                                   std::span<const FileIdentity> Protected,
                                   StagedFile &Out);

  StagedFile() = default;
  StagedFile(StagedFile &&Other) noexcept;
  StagedFile &operator=(StagedFile &&Other) noexcept;
  ~StagedFile();

  // Appends Text; false on any failure, now or before.
  bool write(std::string_view Text);

  // Closes the temporary file but keeps it for commit(), so that many staged
  // files hold no open handles; false (and nothing left behind) on failure.
  bool close();

  // Closes the temporary file and puts it in the target's place; false
  // (and nothing left behind) on failure.
  bool commit();

private:
  void discard();

  File Out;
  std::string Name;
  std::string Temporary;
  bool Ok = false;
};

// Writes Data as file Name whole or not at all, as StagedFile does.
File::CreateResult saveFile(const std::string &Name, std::string_view Data,
                            std::span<const FileIdentity> Protected);

// Puts file From in the place of To, replacing a file there; false on
// failure.
bool replaceFile(const std::string &From, const std::string &To);

// Deletes file Name; false on failure.
bool removeFile(const std::string &Name);

// Write bytes to standard output or standard error unchanged; false on
// failure.
bool writeStdout(std::string_view Text);
bool writeStderr(std::string_view Text);

} // namespace torvel

#endif

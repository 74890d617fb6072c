// A read-only INI file reader that answers as the Windows profile service
// does: names match regardless of letter case, the first of duplicate
// sections and keys wins, ';' starts a comment line.
#ifndef TORVEL_FLASH_INI_FILE_H
#define TORVEL_FLASH_INI_FILE_H

#include "base/byte_source.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace torvel {

class TCustomIniFile {
public:
  explicit TCustomIniFile(std::string FileName);
  virtual ~TCustomIniFile() = default;

  const std::string &fileName() const { return FileName; }

  // The value text, or Default when the section or key is missing.
  virtual std::string readString(const std::string &Section,
                                 const std::string &Ident,
                                 const std::string &Default) const = 0;
  // The value text as an integer, or Default when it is not valid.
  virtual std::int32_t readInteger(const std::string &Section,
                                   const std::string &Ident,
                                   std::int32_t Default) const;
  // The key names of Section, in file order.
  virtual std::vector<std::string>
  readSection(const std::string &Section) const = 0;

  // True when Section holds at least one key.
  bool sectionExists(const std::string &Section) const;

private:
  std::string FileName;
};

class TIniFile : public TCustomIniFile {
public:
  // Reads the file at FileName; isOpen() tells whether that worked. A file
  // holding more than MaxKeptBytes of names and values does not open.
  explicit TIniFile(std::string FileName);
  // Reads the text in Source instead; FileName only names it.
  TIniFile(std::string FileName, ByteSource &Source);

  bool isOpen() const { return Opened; }

  std::string readString(const std::string &Section, const std::string &Ident,
                         const std::string &Default) const override;
  std::vector<std::string>
  readSection(const std::string &Section) const override;

  // Value texts longer than this are cut.
  static constexpr std::size_t MaxValueLength = 2047;
  // What the kept names and values may cost, with a per-entry overhead.
  static constexpr std::size_t MaxKeptBytes = 16 * 1024 * 1024;

private:
  // ASCII case-insensitive hashing and comparison of names.
  struct NameHash {
    std::size_t operator()(const std::string &Name) const;
  };
  struct NameEqual {
    bool operator()(const std::string &A, const std::string &B) const;
  };
  template <typename T>
  using NameMap = std::unordered_map<std::string, T, NameHash, NameEqual>;

  struct Value {
    std::string Text;
    std::size_t Order = 0; // place among the section's keys
  };
  using KeyTable = NameMap<Value>;

  void readFrom(ByteSource &Source);
  void readLine(std::string_view Line);
  const KeyTable *findSection(const std::string &Name) const;

  // Map nodes stay put as the map grows, so Current stays valid.
  NameMap<KeyTable> Sections;
  // Where key lines go; null before the first header and inside a repeated
  // section.
  KeyTable *Current = nullptr;
  std::size_t Kept = 0;
  bool Opened = false;
};

} // namespace torvel

#endif

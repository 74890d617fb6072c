#include "flash/ini_file.h"

#include "base/int_text.h"
#include "base/platform.h"

#include <optional>
#include <utility>

namespace torvel {

namespace {

// Files are read in pieces of this size, so a huge file is never held whole.
constexpr std::size_t ChunkSize = 64 * 1024;
// Only this much of one line is kept; no name or value we use comes near it.
constexpr std::size_t MaxLineLength = 64 * 1024;

// Rough cost of one kept key or section beyond its text.
constexpr std::size_t EntryOverhead = 64;

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

char toLowerAscii(char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

std::string_view trimBlanks(std::string_view Text) {
  std::size_t First = Text.find_first_not_of(" \t");
  if (First == std::string_view::npos)
    return {};
  std::size_t Last = Text.find_last_not_of(" \t");
  return Text.substr(First, Last - First + 1);
}

std::string_view unquote(std::string_view Text) {
  if (Text.size() >= 2 && (Text.front() == '"' || Text.front() == '\'') &&
      Text.back() == Text.front())
    return Text.substr(1, Text.size() - 2);
  return Text;
}

} // namespace

TCustomIniFile::TCustomIniFile(std::string Name) : FileName(std::move(Name)) {}

std::int32_t TCustomIniFile::readInteger(const std::string &Section,
                                         const std::string &Ident,
                                         std::int32_t Default) const {
  return strToIntDef(readString(Section, Ident, ""), Default);
}

bool TCustomIniFile::sectionExists(const std::string &Section) const {
  return !readSection(Section).empty();
}

std::size_t TIniFile::NameHash::operator()(const std::string &Name) const {
  // FNV-1a over the lower-cased bytes.
  std::uint64_t Hash = 14695981039346656037u;
  for (char C : Name) {
    Hash ^= static_cast<unsigned char>(toLowerAscii(C));
    Hash *= 1099511628211u;
  }
  return static_cast<std::size_t>(Hash);
}

bool TIniFile::NameEqual::operator()(const std::string &A,
                                     const std::string &B) const {
  if (A.size() != B.size())
    return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (toLowerAscii(A[I]) != toLowerAscii(B[I]))
      return false;
  return true;
}

TIniFile::TIniFile(std::string Name) : TCustomIniFile(std::move(Name)) {
  std::optional<File> In =
      File::openForReading(fileName(), File::Sharing::ReadOnly);
  if (In)
    readFrom(*In);
}

TIniFile::TIniFile(std::string Name, ByteSource &Source)
    : TCustomIniFile(std::move(Name)) {
  readFrom(Source);
}

void TIniFile::readFrom(ByteSource &Source) {
  ByteSource *In = &Source;
  std::vector<std::uint8_t> Chunk(ChunkSize);
  std::string Line;
  // False once part of the current line has been dropped.
  bool Whole = true;
  auto endLine = [&] {
    std::string_view Text = Line;
    // A cut line has lost its end, CR included.
    if (Whole && !Text.empty() && Text.back() == '\r')
      Text.remove_suffix(1);
    readLine(Text);
    Line.clear();
    Whole = true;
  };

  std::uint64_t Offset = 0;
  bool More = true;
  // Junk that looks like keys must not fill memory.
  while (More && Kept <= MaxKeptBytes) {
    std::size_t Got = In->readAt(Offset, Chunk);
    std::string_view Data(reinterpret_cast<const char *>(Chunk.data()), Got);
    if (Offset == 0 && Data.starts_with(Utf8Bom))
      Data.remove_prefix(Utf8Bom.size());
    while (!Data.empty()) {
      std::size_t End = Data.find('\n');
      std::string_view Part = Data.substr(0, End);
      std::size_t Room = MaxLineLength - Line.size();
      if (Part.size() > Room)
        Whole = false;
      Line.append(Part.substr(0, Room));
      if (End == std::string_view::npos)
        break;
      endLine();
      Data.remove_prefix(End + 1);
    }
    Offset += Got;
    // A short read is the end of the file.
    More = Got == Chunk.size();
  }
  if (!More && (!Line.empty() || !Whole))
    endLine();
  Opened = Kept <= MaxKeptBytes;
  if (!Opened) {
    Sections = {};
    Current = nullptr;
  }
}

void TIniFile::readLine(std::string_view Line) {
  std::string_view Text = trimBlanks(Line);
  if (Text.empty() || Text.front() == ';')
    return;

  if (Text.front() == '[') {
    // Without a closing bracket the line is read like any other.
    std::size_t Close = Text.rfind(']');
    if (Close != std::string_view::npos) {
      std::string Name(trimBlanks(Text.substr(1, Close - 1)));
      std::size_t Cost = Name.size() + EntryOverhead;
      auto [It, Added] = Sections.try_emplace(std::move(Name));
      // A repeated section is skipped whole: the first one answers.
      Current = Added ? &It->second : nullptr;
      if (Added)
        Kept += Cost;
      return;
    }
  }

  if (!Current)
    return;
  std::size_t Equals = Text.find('=');
  if (Equals == std::string_view::npos)
    return;
  std::string Name(trimBlanks(Text.substr(0, Equals)));
  if (Name.empty())
    return;
  KeyTable &Keys = *Current;
  if (Keys.contains(Name))
    return;
  std::string Found(
      unquote(trimBlanks(Text.substr(Equals + 1))).substr(0, MaxValueLength));
  Kept += Name.size() + Found.size() + EntryOverhead;
  std::size_t Order = Keys.size();
  Keys.emplace(std::move(Name), Value{std::move(Found), Order});
}

const TIniFile::KeyTable *TIniFile::findSection(const std::string &Name) const {
  auto It = Sections.find(Name);
  return It == Sections.end() ? nullptr : &It->second;
}

std::string TIniFile::readString(const std::string &Section,
                                 const std::string &Ident,
                                 const std::string &Default) const {
  const KeyTable *Keys = findSection(Section);
  if (!Keys)
    return Default;
  auto It = Keys->find(Ident);
  return It == Keys->end() ? Default : It->second.Text;
}

std::vector<std::string>
TIniFile::readSection(const std::string &Section) const {
  const KeyTable *Keys = findSection(Section);
  if (!Keys)
    return {};
  std::vector<std::string> Names(Keys->size());
  for (const auto &[Name, Entry] : *Keys)
    Names[Entry.Order] = Name;
  return Names;
}

} // namespace torvel

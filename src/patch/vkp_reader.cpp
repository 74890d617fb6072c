#include "patch/vkp_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace torvel {

namespace {

constexpr std::size_t ChunkSize = 64 * 1024;
// The longest look past the current byte: "#pragma" and a blank.
constexpr std::size_t MaxLookahead = 8;
// No pragma word comes near this; a longer one is unknown.
constexpr std::size_t MaxWordLength = 32;

constexpr std::uint8_t DefaultFlags = WarnNoOld | WarnNewExists |
                                      WarnOldExists | UndoAllowed;

constexpr std::array<std::int8_t, 256> HexValues = [] {
  std::array<std::int8_t, 256> Table{};
  Table.fill(-1);
  for (int C = 0; C < 10; ++C)
    Table[std::size_t('0' + C)] = static_cast<std::int8_t>(C);
  for (int C = 0; C < 6; ++C) {
    Table[std::size_t('A' + C)] = static_cast<std::int8_t>(10 + C);
    Table[std::size_t('a' + C)] = static_cast<std::int8_t>(10 + C);
  }
  return Table;
}();

int hexValue(int C) { return C < 0 ? -1 : HexValues[std::size_t(C)]; }

bool isBlank(int C) { return C == ' ' || C == '\t'; }

bool isWordChar(int C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') ||
         (C >= '0' && C <= '9') || C == '_';
}

// A byte as a message names it.
std::string describe(int C) {
  if (C < 0)
    return "the end of the file";
  if (C == '\n' || C == '\r')
    return "the line end";
  std::string Text = "byte 0x";
  if (C >= 0x20 && C < 0x7F) {
    Text = "'";
    Text += static_cast<char>(C);
    Text += '\'';
    return Text;
  }
  static const char Digits[] = "0123456789ABCDEF";
  Text += Digits[C >> 4];
  Text += Digits[C & 15];
  return Text;
}

std::string byteCount(std::uint32_t N) {
  return std::to_string(N) + (N == 1 ? " byte" : " bytes");
}

std::string hexText(std::uint64_t Value) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Text(8, '0');
  for (std::size_t I = 0; I < 8; ++I)
    Text[7 - I] = Digits[(Value >> (4 * I)) & 15];
  return Text;
}

// The text read forward in pieces, with a few bytes of look-ahead.
class TextStream {
public:
  explicit TextStream(ByteSource &S)
      : Source(S), Buffer(ChunkSize + MaxLookahead) {}

  // The byte Ahead places on, or -1 past the end.
  int peek(std::size_t Ahead = 0) {
    if (End - Pos <= Ahead && !fill(Ahead))
      return -1;
    return Buffer[Pos + Ahead];
  }
  void advance(std::size_t N = 1) { Pos += N; }
  std::uint64_t position() const { return BufferStart + Pos; }
  // True when the source ended before the size it gave.
  bool cutShort() const { return AtEnd && BufferStart + End < Source.size(); }

  // Moves to the next LF (or the end) without taking it.
  void skipToLineFeed() {
    for (;;) {
      const void *Found = std::memchr(Buffer.data() + Pos, '\n', End - Pos);
      if (Found) {
        Pos = static_cast<std::size_t>(static_cast<const std::uint8_t *>(Found) -
                                       Buffer.data());
        return;
      }
      Pos = End;
      if (!fill(0))
        return;
    }
  }

  // The bytes buffered from the current one on; empty at the end.
  std::span<const std::uint8_t> available() {
    if (Pos == End && !fill(0))
      return {};
    return std::span(Buffer).subspan(Pos, End - Pos);
  }

private:
  // Reads until more than Ahead bytes are buffered; false at the end.
  bool fill(std::size_t Ahead) {
    while (!AtEnd && End - Pos <= Ahead) {
      std::copy(Buffer.begin() + std::ptrdiff_t(Pos),
                Buffer.begin() + std::ptrdiff_t(End), Buffer.begin());
      BufferStart += Pos;
      End -= Pos;
      Pos = 0;
      const std::size_t Got =
          Source.readAt(BufferStart + End, std::span(Buffer).subspan(End));
      // Fewer bytes than asked is the end of the source.
      AtEnd = Got < Buffer.size() - End;
      End += Got;
    }
    return End - Pos > Ahead;
  }

  ByteSource &Source;
  std::vector<std::uint8_t> Buffer;
  std::size_t Pos = 0;
  std::size_t End = 0;
  std::uint64_t BufferStart = 0;
  bool AtEnd = false;
};

struct Mark {
  std::uint64_t Line;
  std::uint64_t Column;
};

class Reader {
public:
  explicit Reader(ByteSource &Source) : In(Source) {}

  VkpReadResult read() {
    if (In.peek(0) == 0xEF && In.peek(1) == 0xBB && In.peek(2) == 0xBF)
      fail(here(), "a UTF-8 byte order mark: save the patch as plain text");
    while (!Error && In.peek() >= 0)
      readLine();
    if (In.cutShort())
      fail(here(), "the patch cannot be read past this point");
    VkpReadResult Result;
    if (Error)
      Result.Error = std::move(Error);
    else
      Result.Patch = std::move(Patch);
    return Result;
  }

private:
  Mark here() const {
    return {Line, In.position() - LineStart + 1};
  }

  bool fail(Mark At, std::string Message) {
    if (!Error)
      Error = VkpError{At.Line, At.Column, std::move(Message)};
    return false;
  }
  std::nullopt_t missing(Mark At, std::string Message) {
    fail(At, std::move(Message));
    return std::nullopt;
  }

  // Takes the LF at the current position.
  void takeLineFeed() {
    In.advance();
    ++Line;
    LineStart = In.position();
  }

  // Spaces, tabs and /* */ comments, which count as blanks where they stand.
  bool skipBlanks() {
    for (;;) {
      const int C = In.peek();
      if (isBlank(C))
        In.advance();
      else if (C == '/' && In.peek(1) == '*') {
        if (!skipBlockComment())
          return false;
      } else
        return true;
    }
  }

  bool skipBlockComment() {
    const Mark Start = here();
    In.advance(2);
    bool Star = false;
    for (;;) {
      std::span<const std::uint8_t> Bytes = In.available();
      if (Bytes.empty())
        return fail(Start, "comment not closed");
      if (Star && Bytes[0] == '/') {
        In.advance();
        return true;
      }
      // Whole runs between stars at a time: a comment may be gigabytes.
      const auto *Begin = Bytes.data(), *End = Begin + Bytes.size();
      const auto *Found = static_cast<const std::uint8_t *>(
          std::memchr(Begin, '*', Bytes.size()));
      const auto *Stop = Found ? Found + 1 : End;
      for (const auto *P = Begin;
           (P = static_cast<const std::uint8_t *>(
                std::memchr(P, '\n', static_cast<std::size_t>(Stop - P))));
           ++P) {
        ++Line;
        LineStart = In.position() + static_cast<std::uint64_t>(P - Begin) + 1;
      }
      Star = Found != nullptr;
      if (Found && Found + 1 < End && Found[1] == '/') {
        In.advance(static_cast<std::size_t>(Found + 2 - Begin));
        return true;
      }
      In.advance(static_cast<std::size_t>(Stop - Begin));
    }
  }

  // A comment from ;, // or # to the end of the line.
  void skipLineComment() { In.skipToLineFeed(); }

  bool startsWith(std::string_view Text) {
    for (std::size_t I = 0; I < Text.size(); ++I)
      if (In.peek(I) != static_cast<unsigned char>(Text[I]))
        return false;
    return true;
  }

  // The refused forms that may stand where data or a line begin.
  bool refuseForm(int C) {
    if (C == '"' || C == '\'')
      return fail(here(), "a quoted string: not supported, write the bytes "
                          "in hexadecimal");
    if (C == '\\')
      return fail(here(), "a '\\' line continuation: not supported");
    if (C == 'X' || C == 'x' || C == '?')
      return fail(here(), "a placeholder " + describe(C) +
                              " where a hex digit should be: not supported");
    return fail(here(), "unexpected " + describe(C));
  }

  // What may follow the last item of a line: blanks, a comment, its end.
  bool endLine() {
    if (!skipBlanks())
      return false;
    const int C = In.peek();
    if (C < 0)
      return true;
    if (C == '\n') {
      takeLineFeed();
      return true;
    }
    if (C == '\r') {
      if (In.peek(1) != '\n')
        return fail(here(), "a CR not followed by LF");
      In.advance();
      takeLineFeed();
      return true;
    }
    if (C == ';' || (C == '/' && In.peek(1) == '/')) {
      skipLineComment();
      return endLine();
    }
    if (C == '/')
      return fail(here(), "a '/' that starts no comment (// or /*)");
    if (C == '#') {
      if (startsWith("#pragma"))
        return fail(here(), "#pragma must be the first thing on its line");
      skipLineComment();
      return endLine();
    }
    return refuseForm(C);
  }

  void readLine() {
    if (!skipBlanks())
      return;
    const int C = In.peek();
    if (C == '#' && startsWith("#pragma"))
      readPragma();
    else if (C == '+' || C == '-')
      readCorrector();
    else if (hexValue(C) >= 0)
      readRecord();
    else
      endLine();
  }

  // A word of letters, digits and '_', cut after MaxWordLength.
  std::string readWord() {
    std::string Word;
    while (isWordChar(In.peek()) && Word.size() <= MaxWordLength) {
      Word += static_cast<char>(In.peek());
      In.advance();
    }
    return Word;
  }

  void readPragma() {
    const Mark Start = here();
    In.advance(7);
    std::string Shown = "#pragma";
    bool Apart = true;
    // The next word after blanks; Apart turns false when none stood before.
    auto nextWord = [&](std::string &Word) {
      const std::uint64_t Before = In.position();
      if (!skipBlanks())
        return false;
      const bool Spaced = In.position() > Before;
      Apart = Apart && Spaced;
      Word = readWord();
      if (!Word.empty())
        Shown += (Spaced ? " " : "") + Word;
      return true;
    };
    std::string Verb, Name;
    if (!nextWord(Verb) ||
        ((Verb == "enable" || Verb == "disable") && !nextWord(Name)))
      return;
    static const std::pair<const char *, std::uint8_t> Names[] = {
        {"old_equal_ff", 0},
        {"warn_no_old_on_apply", WarnNoOld},
        {"warn_if_new_exist_on_apply", WarnNewExists},
        {"warn_if_old_exist_on_undo", WarnOldExists},
        {"undo", UndoAllowed}};
    const auto *Known =
        std::find_if(std::begin(Names), std::end(Names),
                     [&](const auto &N) { return Name == N.first; });
    if (!Apart || Known == std::end(Names) || isWordChar(In.peek())) {
      fail(Start, "unknown pragma '" + Shown.substr(0, 80) +
                      "' (#pragma enable or disable old_equal_ff, "
                      "warn_no_old_on_apply, warn_if_new_exist_on_apply, "
                      "warn_if_old_exist_on_undo or undo)");
      return;
    }
    const bool On = Verb == "enable";
    if (Known->second == 0)
      OldEqualFF = On;
    else if (On)
      Flags = static_cast<std::uint8_t>(Flags | Known->second);
    else
      Flags = static_cast<std::uint8_t>(Flags & ~Known->second);
    endLine();
  }

  // Hexadecimal digits, after 0x or 0X when given; nothing when there are
  // none or the value passes FFFFFFFF.
  std::optional<std::uint32_t> readNumber(Mark Start, const char *What) {
    if (In.peek() == '0' && (In.peek(1) == 'x' || In.peek(1) == 'X')) {
      In.advance(2);
      if (hexValue(In.peek()) < 0)
        return missing(here(), std::string(What) +
                                   " without hexadecimal digits after 0x");
    }
    if (hexValue(In.peek()) < 0)
      return missing(here(), std::string(What) + " without hexadecimal digits");
    std::uint64_t Value = 0;
    for (int D; (D = hexValue(In.peek())) >= 0; In.advance()) {
      Value = Value << 4 | static_cast<std::uint64_t>(D);
      if (Value > 0xFFFFFFFFu)
        return missing(Start, std::string(What) + " above FFFFFFFF");
    }
    return static_cast<std::uint32_t>(Value);
  }

  void readCorrector() {
    const Mark Start = here();
    const bool Minus = In.peek() == '-';
    In.advance();
    if (!skipBlanks())
      return;
    const std::optional<std::uint32_t> Value = readNumber(Start, "corrector");
    if (!Value)
      return;
    Corrector = Minus ? -std::int64_t(*Value) : std::int64_t(*Value);
    endLine();
  }

  // One field's bytes appended to the pool; its length, or nothing.
  std::optional<std::uint32_t> readField() {
    const Mark Start = here();
    std::uint32_t Bytes = 0;
    for (;;) {
      const Mark Group = here();
      if (In.peek() == '0')
        for (char F : {'x', 'n', 'i'})
          if (In.peek(1) == F || In.peek(1) == F - 'a' + 'A')
            return missing(Group, std::string("a number in 0") + F +
                                      " form: not supported, write plain "
                                      "hexadecimal digits");
      std::uint64_t Digits = 0;
      int High = 0;
      // Straight from the buffer: data are most of a patch.
      for (std::span<const std::uint8_t> Run; !(Run = In.available()).empty();) {
        std::size_t I = 0;
        for (int D; I < Run.size() && (D = HexValues[Run[I]]) >= 0; ++I, ++Digits) {
          if (Digits % 2 == 0) {
            High = D;
            continue;
          }
          if (Bytes == MaxRecordBytes)
            return missing(Start, "data longer than 1 MiB (1048576 bytes)");
          Patch.Pool.push_back(static_cast<std::uint8_t>(High << 4 | D));
          ++Bytes;
        }
        In.advance(I);
        if (I < Run.size())
          break;
      }
      const int Next = In.peek();
      if (Next == 'X' || Next == 'x' || Next == '?' ||
          (Digits == 0 && (Next == '"' || Next == '\'' || Next == '\\'))) {
        refuseForm(Next);
        return std::nullopt;
      }
      if (Digits == 0)
        return missing(Group, "an empty group of digits");
      if (Digits % 2 != 0)
        return missing(Group, "an odd number of hex digits (two a byte)");
      if (Next != ',')
        break;
      In.advance();
    }
    const int Next = In.peek();
    if (Next >= 0 && !isBlank(Next) && Next != '\n' && Next != '\r' &&
        Next != ';' && Next != '/' && Next != '#') {
      refuseForm(Next);
      return std::nullopt;
    }
    return Bytes;
  }

  void readRecord() {
    const Mark Start = here();
    const std::optional<std::uint32_t> Address = readNumber(Start, "address");
    if (!Address)
      return;
    if (In.peek() != ':') {
      fail(here(), "expected ':' directly after the address, found " +
                       describe(In.peek()));
      return;
    }
    In.advance();
    const std::uint64_t First = Patch.Pool.size();
    std::uint32_t Lengths[2] = {};
    int Fields = 0;
    for (;;) {
      if (!skipBlanks())
        return;
      const int C = In.peek();
      const bool Data = hexValue(C) >= 0 || C == ',';
      if (!Data && C != 'X' && C != 'x' && C != '?' && C != '"' &&
          C != '\'' && C != '\\')
        break;
      if (Fields == 2) {
        fail(here(), "a third data field (a record holds old data and new "
                     "data at most)");
        return;
      }
      if (!Data) {
        refuseForm(C);
        return;
      }
      const Mark FieldStart = here();
      const std::optional<std::uint32_t> Length = readField();
      if (!Length)
        return;
      if (Fields == 1 && *Length != Lengths[0]) {
        fail(FieldStart, "old data of " + byteCount(Lengths[0]) +
                             " and new data of " + byteCount(*Length) +
                             ": they must be as long");
        return;
      }
      Lengths[Fields++] = *Length;
    }
    if (Fields == 0) {
      fail(Start, "record without data");
      return;
    }
    const std::uint32_t Length = Lengths[0];
    const std::int64_t Corrected = std::int64_t(*Address) + Corrector;
    const std::string With =
        Corrector == 0 ? std::string()
                       : std::string(" with the corrector ") +
                             (Corrector < 0 ? "-" : "+") +
                             hexText(static_cast<std::uint64_t>(
                                 Corrector < 0 ? -Corrector : Corrector));
    if (Corrected < 0) {
      fail(Start, "address " + hexText(*Address) + With + " lies below 0");
      return;
    }
    if (std::uint64_t(Corrected) + Length - 1 > 0xFFFFFFFFu) {
      fail(Start, "record of " + byteCount(Length) + " at " +
                      hexText(*Address) + With + " runs past FFFFFFFF");
      return;
    }
    std::uint8_t RecordFlags = Flags;
    if (Fields == 2) {
      // Read old then new; kept new then old.
      std::rotate(Patch.Pool.begin() + std::ptrdiff_t(First),
                  Patch.Pool.begin() + std::ptrdiff_t(First + Length),
                  Patch.Pool.end());
      RecordFlags |= HasOldData;
    } else if (OldEqualFF) {
      Patch.Pool.insert(Patch.Pool.end(), Length, 0xFF);
      RecordFlags |= HasOldData;
    }
    PatchRecord &R = Patch.Records.emplace_back();
    R.Line = Start.Line;
    R.Data = First;
    R.Offset = static_cast<std::uint32_t>(Corrected);
    R.Length = Length & 0xFFFFFFu;
    R.Flags = RecordFlags;
    endLine();
  }

  TextStream In;
  std::uint64_t Line = 1;
  std::uint64_t LineStart = 0;
  std::optional<VkpError> Error;
  VkpPatch Patch;
  std::uint8_t Flags = DefaultFlags;
  bool OldEqualFF = false;
  std::int64_t Corrector = 0;
};

} // namespace

std::span<const std::uint8_t> VkpPatch::newData(const PatchRecord &R) const {
  return std::span(Pool).subspan(static_cast<std::size_t>(R.Data), R.Length);
}

std::span<const std::uint8_t> VkpPatch::oldData(const PatchRecord &R) const {
  if (!R.has(HasOldData))
    return {};
  return std::span(Pool).subspan(static_cast<std::size_t>(R.Data) + R.Length,
                                 R.Length);
}

std::string formatVkpError(const std::string &File, const VkpError &Error) {
  return File + ":" + std::to_string(Error.Line) + ":" +
         std::to_string(Error.Column) + ": " + Error.Message;
}

VkpReadResult readVkp(ByteSource &Source) { return Reader(Source).read(); }

} // namespace torvel

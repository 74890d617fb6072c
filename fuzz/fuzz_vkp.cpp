// The VKP reader, twice over: the input read as a patch must never crash or
// hold more than its text brings, and records made from the input, written
// in varied legal syntax, must read back as written.
#include "fuzz_util.h"
#include "patch/vkp_reader.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace torvel;

struct Expected {
  std::uint64_t Line;
  std::uint32_t Offset;
  std::vector<std::uint8_t> New, Old;
  std::uint8_t Flags;
};

// Writes records in the many ways a patch may spell them.
class Writer {
public:
  explicit Writer(FuzzedDataProvider &P) : In(P) {}

  std::string Text;
  std::vector<Expected> Records;

  void write() {
    while (In.remaining_bytes() > 0 && Records.size() < 64) {
      switch (In.ConsumeIntegralInRange(0, 7)) {
      case 0:
        filler();
        break;
      case 1:
        pragma();
        break;
      case 2:
        corrector();
        break;
      default:
        record();
        break;
      }
    }
  }

private:
  void lineEnd() {
    Text += In.ConsumeBool() ? "\r\n" : "\n";
    ++Line;
  }
  void blanks() {
    for (int N = In.ConsumeIntegralInRange(0, 2); N > 0; --N)
      Text += In.ConsumeBool() ? ' ' : '\t';
    // A block comment counts as a blank, across lines too.
    if (In.ConsumeIntegralInRange(0, 7) == 0) {
      Text += "/* ;";
      if (In.ConsumeBool())
        lineEnd();
      Text += "#*/";
    }
  }
  void comment() {
    const char *Kinds[] = {"", "; drawing", "// c /*", "# c", "/* c */"};
    blanks();
    Text += Kinds[In.ConsumeIntegralInRange(0, 4)];
  }
  void hex(std::uint64_t Value, int Digits, bool Prefix) {
    static const char Upper[] = "0123456789ABCDEF", Lower[] = "0123456789abcdef";
    if (Prefix)
      Text += In.ConsumeBool() ? "0x" : "0X";
    const char *Set = In.ConsumeBool() ? Upper : Lower;
    for (int I = Digits - 1; I >= 0; --I)
      Text += Set[(Value >> (4 * I)) & 15];
  }
  void field(const std::vector<std::uint8_t> &Bytes) {
    for (std::size_t I = 0; I < Bytes.size(); ++I) {
      if (I > 0 && In.ConsumeIntegralInRange(0, 3) == 0)
        Text += ',';
      hex(Bytes[I], 2, false);
    }
  }

  void filler() {
    comment();
    lineEnd();
  }
  void pragma() {
    static const std::pair<const char *, std::uint8_t> Names[] = {
        {"old_equal_ff", 0},
        {"warn_no_old_on_apply", WarnNoOld},
        {"warn_if_new_exist_on_apply", WarnNewExists},
        {"warn_if_old_exist_on_undo", WarnOldExists},
        {"undo", UndoAllowed}};
    const auto &[Name, Flag] = Names[In.ConsumeIntegralInRange(0, 4)];
    const bool On = In.ConsumeBool();
    blanks();
    Text += std::string("#pragma") + (In.ConsumeBool() ? " " : "\t") +
            (On ? "enable" : "disable") + "  " + Name;
    comment();
    lineEnd();
    if (Flag == 0)
      OldEqualFF = On;
    else
      Flags = static_cast<std::uint8_t>(On ? Flags | Flag : Flags & ~Flag);
  }
  void corrector() {
    const std::uint32_t Value = In.ConsumeIntegral<std::uint32_t>();
    const bool Minus = In.ConsumeBool();
    blanks();
    Text += Minus ? "-" : "+";
    if (In.ConsumeBool())
      Text += ' ';
    hex(Value, In.ConsumeIntegralInRange(8, 10), In.ConsumeBool());
    comment();
    lineEnd();
    Corrector = Minus ? -std::int64_t(Value) : std::int64_t(Value);
  }
  void record() {
    Expected E;
    E.New = In.ConsumeBytes<std::uint8_t>(In.ConsumeIntegralInRange(1, 24));
    if (E.New.empty())
      return;
    const bool WithOld = In.ConsumeBool();
    if (WithOld)
      E.Old = In.ConsumeBytes<std::uint8_t>(E.New.size());
    if (E.Old.size() != (WithOld ? E.New.size() : 0))
      return;
    // An offset that the corrector in force can reach, its last byte at
    // FFFFFFFF at most.
    const std::uint64_t Last = 0x100000000u - E.New.size();
    const std::uint64_t Offset = In.ConsumeIntegralInRange<std::uint64_t>(0, Last);
    const std::int64_t Address = std::int64_t(Offset) - Corrector;
    if (Address < 0 || Address > 0xFFFFFFFF)
      return;
    E.Offset = static_cast<std::uint32_t>(Offset);
    blanks();
    E.Line = Line;
    hex(static_cast<std::uint64_t>(Address), In.ConsumeIntegralInRange(8, 10), In.ConsumeBool());
    Text += ':';
    if (WithOld) {
      blanks();
      field(E.Old);
      Text += ' ';
    }
    blanks();
    field(E.New);
    comment();
    lineEnd();
    if (!WithOld && OldEqualFF)
      E.Old.assign(E.New.size(), 0xFF);
    E.Flags = static_cast<std::uint8_t>(Flags | (E.Old.empty() ? 0 : HasOldData));
    Records.push_back(std::move(E));
  }

  FuzzedDataProvider &In;
  std::uint64_t Line = 1;
  std::uint8_t Flags = WarnNoOld | WarnNewExists | WarnOldExists | UndoAllowed;
  bool OldEqualFF = false;
  std::int64_t Corrector = 0;
};

VkpReadResult readText(std::string_view Text) {
  MemorySource Source(std::span(reinterpret_cast<const std::uint8_t *>(Text.data()),
                                Text.size()));
  return readVkp(Source);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
  // Any text: records within bounds, an error placed inside the text, and no
  // more bytes held than the text spells.
  const VkpReadResult Any = readText(fuzz::asText(Data, Size));
  if (Any.Error) {
    TORVEL_FUZZ_CHECK(Any.Patch.Records.empty() && Any.Error->Line >= 1 &&
                      Any.Error->Column >= 1 && !Any.Error->Message.empty());
  } else {
    std::uint64_t Held = 0;
    for (const PatchRecord &R : Any.Patch.Records) {
      TORVEL_FUZZ_CHECK(R.Length >= 1 && R.Length <= MaxRecordBytes);
      TORVEL_FUZZ_CHECK(std::uint64_t(R.Offset) + R.Length <= 0x100000000u);
      Held += R.Length * (R.has(HasOldData) ? 2u : 1u);
    }
    TORVEL_FUZZ_CHECK(Held == Any.Patch.Pool.size() && Held <= Size);
  }

  FuzzedDataProvider Provider(Data, Size);
  Writer W(Provider);
  W.write();
  const VkpReadResult Back = readText(W.Text);
  if (Back.Error)
    std::fprintf(stderr, "%s\n", formatVkpError("written", *Back.Error).c_str());
  TORVEL_FUZZ_CHECK(!Back.Error && Back.Patch.Records.size() == W.Records.size());
  for (std::size_t I = 0; I < W.Records.size(); ++I) {
    const PatchRecord &R = Back.Patch.Records[I];
    const Expected &E = W.Records[I];
    const auto New = Back.Patch.newData(R), Old = Back.Patch.oldData(R);
    TORVEL_FUZZ_CHECK(R.Line == E.Line && R.Offset == E.Offset && R.Flags == E.Flags);
    TORVEL_FUZZ_CHECK(std::vector<std::uint8_t>(New.begin(), New.end()) == E.New);
    TORVEL_FUZZ_CHECK(std::vector<std::uint8_t>(Old.begin(), Old.end()) == E.Old);
  }
  return 0;
}

// The integer text conversions, checked against a reference built on
// std::from_chars and against each other.
#include "base/int_text.h"
#include "fuzz_util.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool isDigitOf(char C, int Base) {
  if (C >= '0' && C <= '9')
    return true;
  return Base == 16 && ((C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F'));
}

// The rules written out once more, differently: spaces, then a sign or a
// hexadecimal prefix, then digits of that base to the end, within range.
std::optional<std::int32_t> reference(std::string_view Text) {
  while (!Text.empty() && Text.front() == ' ')
    Text.remove_prefix(1);
  int Base = 10;
  bool Negative = false;
  if (Text.starts_with("0x") || Text.starts_with("0X")) {
    Base = 16;
    Text.remove_prefix(2);
  } else if (Text.starts_with('$') || Text.starts_with('x') ||
             Text.starts_with('X')) {
    Base = 16;
    Text.remove_prefix(1);
  } else if (Text.starts_with('-') || Text.starts_with('+')) {
    Negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  if (Text.empty())
    return std::nullopt;
  for (char C : Text)
    if (!isDigitOf(C, Base))
      return std::nullopt;
  std::uint64_t Value = 0;
  auto [End, Error] =
      std::from_chars(Text.data(), Text.data() + Text.size(), Value, Base);
  if (Error != std::errc() || End != Text.data() + Text.size())
    return std::nullopt;
  if (Base == 16)
    return Value <= 0xFFFFFFFFu
               ? std::optional(static_cast<std::int32_t>(
                     static_cast<std::uint32_t>(Value)))
               : std::nullopt;
  if (Value > (Negative ? 2147483648u : 2147483647u))
    return std::nullopt;
  return static_cast<std::int32_t>(Negative ? -static_cast<std::int64_t>(Value)
                                            : static_cast<std::int64_t>(Value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data,
                                      std::size_t Size) {
  using namespace torvel;
  const std::string_view Text = fuzz::asText(Data, Size);
  const std::optional<std::int32_t> Value = parseInt(Text);
  TORVEL_FUZZ_CHECK(Value == reference(Text));
  TORVEL_FUZZ_CHECK(strToIntDef(Text, 7) == Value.value_or(7));
  TORVEL_FUZZ_CHECK(strToIntDef(Text, -7) == Value.value_or(-7));
  try {
    const std::int32_t Strict = strToInt(Text);
    TORVEL_FUZZ_CHECK(Value && Strict == *Value);
  } catch (const EConvertError &E) {
    TORVEL_FUZZ_CHECK(!Value);
    // what() ends at a zero byte; command-line words never hold one.
    const std::string Expected =
        "'" + std::string(Text) + "' is not a valid integer value";
    TORVEL_FUZZ_CHECK(E.what() == Expected.substr(0, Expected.find('\0')));
  }
  if (!Value)
    return 0;
  // Leading spaces are skipped, trailing ones are not.
  TORVEL_FUZZ_CHECK(parseInt(" " + std::string(Text)) == Value);
  TORVEL_FUZZ_CHECK(!parseInt(std::string(Text) + " "));
  // Every value comes back from its decimal and its hexadecimal text.
  TORVEL_FUZZ_CHECK(parseInt(std::to_string(*Value)) == Value);
  char Hex[12];
  std::snprintf(Hex, sizeof Hex, "$%08X", static_cast<std::uint32_t>(*Value));
  TORVEL_FUZZ_CHECK(parseInt(Hex) == Value);
  return 0;
}

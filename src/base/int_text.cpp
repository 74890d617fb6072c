#include "base/int_text.h"

#include <cstdio>

namespace torvel {

namespace {

int hexDigit(char C) {
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  return -1;
}

std::optional<std::int32_t> parseHex(std::string_view Digits) {
  if (Digits.empty())
    return std::nullopt;
  std::uint64_t Value = 0;
  for (char C : Digits) {
    int D = hexDigit(C);
    if (D < 0)
      return std::nullopt;
    Value = Value * 16 + static_cast<std::uint64_t>(D);
    if (Value > 0xFFFFFFFFu)
      return std::nullopt;
  }
  // The 32 bits are a two's-complement number.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(Value));
}

std::optional<std::int32_t> parseDecimal(std::string_view Digits,
                                         bool Negative) {
  if (Digits.empty())
    return std::nullopt;
  const std::uint64_t Limit = Negative ? 2147483648u : 2147483647u;
  std::uint64_t Value = 0;
  for (char C : Digits) {
    if (C < '0' || C > '9')
      return std::nullopt;
    Value = Value * 10 + static_cast<std::uint64_t>(C - '0');
    if (Value > Limit)
      return std::nullopt;
  }
  std::int64_t Signed = Negative ? -static_cast<std::int64_t>(Value)
                                 : static_cast<std::int64_t>(Value);
  return static_cast<std::int32_t>(Signed);
}

} // namespace

std::optional<std::int32_t> parseInt(std::string_view Text) {
  std::size_t Start = Text.find_first_not_of(' ');
  if (Start == std::string_view::npos)
    return std::nullopt;
  Text.remove_prefix(Start);
  switch (Text.front()) {
  case '-':
    return parseDecimal(Text.substr(1), true);
  case '+':
    return parseDecimal(Text.substr(1), false);
  case '$':
  case 'x':
  case 'X':
    return parseHex(Text.substr(1));
  case '0':
    if (Text.size() > 1 && (Text[1] == 'x' || Text[1] == 'X'))
      return parseHex(Text.substr(2));
    break;
  default:
    break;
  }
  return parseDecimal(Text, false);
}

std::int32_t strToInt(std::string_view Text) {
  if (std::optional<std::int32_t> Value = parseInt(Text))
    return *Value;
  throw EConvertError("'" + std::string(Text) + "' is not a valid integer value");
}

std::string hex8(std::uint32_t Value) {
  char Text[9];
  std::snprintf(Text, sizeof Text, "%08X", Value);
  return Text;
}

namespace {

std::string hexOf(std::span<const std::uint8_t> Bytes, const char *Digits) {
  std::string Text;
  Text.reserve(2 * Bytes.size());
  for (std::uint8_t B : Bytes) {
    Text += Digits[B >> 4];
    Text += Digits[B & 15];
  }
  return Text;
}

} // namespace

std::string upperHex(std::span<const std::uint8_t> Bytes) {
  return hexOf(Bytes, "0123456789ABCDEF");
}

std::string lowerHex(std::span<const std::uint8_t> Bytes) {
  return hexOf(Bytes, "0123456789abcdef");
}

std::int32_t strToIntDef(std::string_view Text, std::int32_t Default) {
  return parseInt(Text).value_or(Default);
}

} // namespace torvel

// Text to signed 32-bit integer, one rule set for the picture index and the
// configuration values: decimal, or hexadecimal after "$", "x", "X", "0x" or
// "0X"; leading spaces only; nothing may follow the digits.
#ifndef TORVEL_BASE_INT_TEXT_H
#define TORVEL_BASE_INT_TEXT_H

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace torvel {

// The failure of a strict conversion; only main catches it.
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The value of Text, or nothing when it is not a valid integer.
std::optional<std::int32_t> parseInt(std::string_view Text);

// The value of Text; throws EConvertError "'<Text>' is not a valid integer
// value" when it is not valid.
std::int32_t strToInt(std::string_view Text);

// The value of Text, or Default when it is not valid.
std::int32_t strToIntDef(std::string_view Text, std::int32_t Default);

// Value as 8 upper-case hexadecimal digits.
std::string hex8(std::uint32_t Value);

// Bytes as upper-case (or lower-case) hexadecimal digits, two a byte,
// nothing between.
std::string upperHex(std::span<const std::uint8_t> Bytes);
std::string lowerHex(std::span<const std::uint8_t> Bytes);

} // namespace torvel

#endif

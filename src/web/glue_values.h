// Plain values between JavaScript and the core: bytes in and out of the
// page's typed arrays, and a JavaScript array read as a byte source.
#ifndef TORVEL_WEB_GLUE_VALUES_H
#define TORVEL_WEB_GLUE_VALUES_H

#include "base/byte_source.h"

#include <emscripten/val.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

std::vector<std::uint8_t> bytesOf(const emscripten::val &Array);

// A copy in JavaScript's memory, which outlives the vector's.
template <typename T> emscripten::val arrayOf(const std::vector<T> &Values) {
  return emscripten::val(emscripten::typed_memory_view(Values.size(), Values.data()))
      .call<emscripten::val>("slice");
}

emscripten::val bytesVal(const std::string &Text);

// A Uint8Array that stays in JavaScript's memory, read a piece at a time,
// so that a file's bytes are not held twice.
class ArraySource : public ByteSource {
public:
  explicit ArraySource(emscripten::val Array);

  std::uint64_t size() const override { return Size; }
  std::size_t readAt(std::uint64_t Offset, std::span<std::uint8_t> Buffer) override;

private:
  emscripten::val Array;
  std::uint64_t Size;
};

// True when Rows holds exactly the rows of a Width x Height picture.
bool holdsRows(const std::vector<std::uint8_t> &Rows, std::int32_t Width,
               std::int32_t Height);

// A dump offset or size from JavaScript, where Blob sizes stay below 2^53;
// nothing when Value is not a whole number from 0 to Limit.
std::optional<std::uint64_t> wholeNumber(double Value, double Limit = 0x1p53);

} // namespace torvel

#endif

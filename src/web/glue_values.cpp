#include "web/glue_values.h"

#include "picture/vkp.h"

#include <algorithm>
#include <cmath>

namespace torvel {

using emscripten::val;

std::vector<std::uint8_t> bytesOf(const val &Array) {
  return emscripten::convertJSArrayToNumberVector<std::uint8_t>(Array);
}

val bytesVal(const std::string &Text) {
  return arrayOf(std::vector<std::uint8_t>(Text.begin(), Text.end()));
}

ArraySource::ArraySource(val Bytes)
    : Array(std::move(Bytes)), Size(static_cast<std::uint64_t>(Array["length"].as<double>())) {}

std::size_t ArraySource::readAt(std::uint64_t Offset,
                                std::span<std::uint8_t> Buffer) {
  if (Offset >= Size)
    return 0;
  const std::size_t N =
      static_cast<std::size_t>(std::min<std::uint64_t>(Buffer.size(), Size - Offset));
  // The view is made after anything that may grow the memory it lies in.
  val(emscripten::typed_memory_view(N, Buffer.data()))
      .call<void>("set", Array.call<val>("subarray", double(Offset), double(Offset + N)));
  return N;
}

bool holdsRows(const std::vector<std::uint8_t> &Rows, std::int32_t Width,
               std::int32_t Height) {
  return Width >= 0 && Width <= 255 && Height >= 0 && Height <= 255 &&
         Rows.size() == bytesPerRow(Width) * std::uint32_t(Height);
}

std::optional<std::uint64_t> wholeNumber(double Value, double Limit) {
  if (!(Value >= 0 && Value <= Limit) || std::floor(Value) != Value)
    return std::nullopt;
  return static_cast<std::uint64_t>(Value);
}

} // namespace torvel

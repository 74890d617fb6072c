// Bytes and arrays across the border between JavaScript and the core.
#ifndef TORVEL_WEB_GLUE_VALUES_H
#define TORVEL_WEB_GLUE_VALUES_H

#include <emscripten/val.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace torvel::web {

using emscripten::val;

// A copy of a Uint8Array in the core's memory, in one block move.
inline std::vector<std::uint8_t> bytesOf(const val &Array) {
  std::vector<std::uint8_t> Bytes(Array["length"].as<std::size_t>());
  val(emscripten::typed_memory_view(Bytes.size(), Bytes.data()))
      .call<void>("set", Array);
  return Bytes;
}

// A copy in JavaScript's memory, which outlives the core's.
template <typename T> val arrayOf(const T *Values, std::size_t Count) {
  return val(emscripten::typed_memory_view(Count, Values)).call<val>("slice");
}

template <typename T> val arrayOf(const std::vector<T> &Values) {
  return arrayOf(Values.data(), Values.size());
}

inline val bytesVal(std::string_view Text) {
  return arrayOf(reinterpret_cast<const std::uint8_t *>(Text.data()),
                 Text.size());
}

} // namespace torvel::web

#endif

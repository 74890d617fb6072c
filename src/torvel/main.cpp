#include "base/int_text.h"
#include "base/path.h"
#include "base/platform.h"
#include "torvel/run.h"

#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace {

std::uint32_t codeLocation(const void *Where) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(Where));
}

int reportUncaught(const char *ClassName, const void *Where,
                   const std::string &Message) {
  torvel::writeStdout(torvel::uncaughtReport(
      ClassName, torvel::baseName(torvel::executablePath()),
      codeLocation(Where), Message));
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  std::vector<std::string> Args(argv + (argc > 0 ? 1 : 0), argv + argc);
  try {
    return torvel::runTorvel(Args);
  } catch (const torvel::EConvertError &E) {
    return reportUncaught("EConvertError",
                          reinterpret_cast<const void *>(&torvel::strToInt),
                          E.what());
  } catch (const std::bad_alloc &) {
    return reportUncaught("EOutOfMemory",
                          reinterpret_cast<const void *>(&torvel::runTorvel),
                          "Out of memory");
  }
}

// The run: stages in their fixed order, the report line and the exit code.
#ifndef TORVEL_TORVEL_RUN_H
#define TORVEL_TORVEL_RUN_H

#include <cstdint>
#include <string>
#include <vector>

namespace torvel {

// Runs the whole program on Args (the program name not among them) and
// returns the exit code. A non-numeric picture index escapes as
// EConvertError; main reports it.
int runTorvel(const std::vector<std::string> &Args);

// The report of a failure that no stage catches: "Exception <Class> in
// module <Module> at <Address>." LF, then Message with a full stop, CR LF.
std::string uncaughtReport(const std::string &ClassName,
                           const std::string &Module, std::uint32_t Address,
                           const std::string &Message);

} // namespace torvel

#endif

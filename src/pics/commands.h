// The picture tool's commands, each over an open session. Each returns the
// failure that ends the run, or nothing when it succeeded.
#ifndef TORVEL_PICS_COMMANDS_H
#define TORVEL_PICS_COMMANDS_H

#include "pics/session.h"

namespace torvel {

std::optional<Stop> runList(Session &S);
std::optional<Stop> runShow(Session &S);
std::optional<Stop> runExtract(Session &S);
std::optional<Stop> runRestore(Session &S);
std::optional<Stop> runPatch(Session &S);
std::optional<Stop> runCheck(Session &S);
std::optional<Stop> runApply(Session &S);
std::optional<Stop> runImport(Session &S);
std::optional<Stop> runSheet(Session &S);

// The header line show prints for a picture, with its LF.
std::string showHeader(const Picture &P);

} // namespace torvel

#endif

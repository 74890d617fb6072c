#include "pics/commands.h"

namespace torvel {

std::optional<Stop> runApply(Session &) { return Stop{"not built yet"}; }

} // namespace torvel

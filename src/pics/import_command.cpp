#include "pics/commands.h"

namespace torvel {

std::optional<Stop> runImport(Session &) { return Stop{"not built yet"}; }

} // namespace torvel

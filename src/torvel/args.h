// The command line: switches, the four positional slots and the usage screen.
#ifndef TORVEL_TORVEL_ARGS_H
#define TORVEL_TORVEL_ARGS_H

#include "torvel/run_state.h"

#include <string>
#include <vector>

namespace torvel {

enum class ParseOutcome {
  Continue,  // run the stages
  NoArguments, // show the usage screen, exit 2
  HelpAsked, // show the usage screen, exit 0
};

// Fills the names, index and switches of Run from Args (the program name not
// among them). Records problems in Run.Status and goes on; a non-numeric
// index throws EConvertError.
ParseOutcome parseArguments(RunState &Run, const std::vector<std::string> &Args);

// The usage screen, every line ended by CR LF.
std::string usageScreen();

} // namespace torvel

#endif

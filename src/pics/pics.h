// torvel-pics: lists, shows, extracts and restores the pictures of a dump.
#ifndef TORVEL_PICS_PICS_H
#define TORVEL_PICS_PICS_H

#include <string>
#include <vector>

namespace torvel {

// Runs the picture tool on Args (the program name not among them) and
// returns the exit code: 0 done, 1 failed, 2 a usage error.
int runPics(const std::vector<std::string> &Args);

} // namespace torvel

#endif

#include "pics/pics.h"

#include <string>
#include <vector>

int main(int argc, char **argv) {
  std::vector<std::string> Args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return torvel::runPics(Args);
}

// A whole run of the program in a folder of its own. The input holds up to
// four parts split by Separator: the command-line words (one per line), the
// BMP file a.bmp, the configuration file map.ini and the bytes of the
// fullflash full.bin from the picture table on (an empty part: an empty
// fullflash). Words are cut down to characters that name files inside the
// current folder only, so no run can write anywhere else.
#include "base/int_text.h"
#include "flash/picture_table.h"
#include "fuzz_util.h"
#include "torvel/args.h"
#include "torvel/run.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace torvel::fuzz;

constexpr std::string_view Separator = "\n##torvel##\n";

struct Setup {
  ScratchFolder Root{"fuzz-run"};
  std::string Work = Root / "work";
  std::string Capture = Root / "stdout";
  int HomeFd = -1;
  int StdoutFd = -1;

  Setup() {
    TORVEL_FUZZ_CHECK(::mkdir(Work.c_str(), 0700) == 0);
    HomeFd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    StdoutFd = ::dup(STDOUT_FILENO);
    TORVEL_FUZZ_CHECK(HomeFd >= 0 && StdoutFd >= 0);
  }
};

Setup &setup() {
  static Setup S;
  return S;
}

std::vector<std::string_view> splitParts(std::string_view Input) {
  std::vector<std::string_view> Parts;
  while (Parts.size() < 3) {
    std::size_t At = Input.find(Separator);
    if (At == std::string_view::npos)
      break;
    Parts.push_back(Input.substr(0, At));
    Input.remove_prefix(At + Separator.size());
  }
  Parts.push_back(Input);
  Parts.resize(4);
  return Parts;
}

bool keptInWord(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') ||
         (C >= '0' && C <= '9') || std::string_view(".$+-?_ \\:").find(C) !=
                                       std::string_view::npos;
}

// No '/' but a leading one, and that only before more characters, where it
// makes the word a switch: every name then lies in the current folder.
std::string sanitizeWord(std::string_view Raw) {
  std::string Word;
  for (std::size_t I = 0; I < Raw.size(); ++I)
    if (keptInWord(Raw[I]) || (I == 0 && Raw[I] == '/' && Raw.size() > 1))
      Word += Raw[I];
  if (Word == "/")
    Word = "-";
  return Word;
}

std::vector<std::string> commandLine(std::string_view Text) {
  std::vector<std::string> Words;
  while (!Text.empty() && Words.size() < 16) {
    std::size_t End = Text.find('\n');
    Words.push_back(sanitizeWord(Text.substr(0, End)));
    if (End == std::string_view::npos)
      break;
    Text.remove_prefix(End + 1);
  }
  return Words;
}

// The fullflash's size and its bytes from the table on: all that is not zero.
std::string flashTail(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary | std::ios::ate);
  const auto Size = static_cast<std::int64_t>(In.tellg());
  std::string Tail = std::to_string(Size) + ":";
  if (Size > torvel::PictureTableOffset) {
    In.seekg(torvel::PictureTableOffset);
    Tail.append(std::istreambuf_iterator<char>(In), {});
  }
  return Tail;
}

// The files the run takes as its inputs, as the parser reads the words.
std::vector<std::string> inputNames(const std::vector<std::string> &Words) {
  torvel::RunState Run;
  try {
    if (torvel::parseArguments(Run, Words) != torvel::ParseOutcome::Continue)
      return {};
  } catch (const torvel::EConvertError &) {
    return {};
  }
  return {Run.BmpName, Run.FlashName, Run.ConfigPath};
}

bool isInput(const std::vector<std::string> &Inputs, const char *Name) {
  return std::find(Inputs.begin(), Inputs.end(), Name) != Inputs.end();
}

void emptyFolder(const std::string &Path) {
  for (const auto &Entry : std::filesystem::directory_iterator(Path))
    std::filesystem::remove_all(Entry.path());
}

// Runs the program as main does, with standard output going to Capture.
int runCaptured(Setup &S, const std::vector<std::string> &Words,
                std::string &Output) {
  int Capture =
      ::open(S.Capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  TORVEL_FUZZ_CHECK(Capture >= 0 && ::dup2(Capture, STDOUT_FILENO) >= 0);
  ::close(Capture);
  TORVEL_FUZZ_CHECK(::chdir(S.Work.c_str()) == 0);
  int Code;
  try {
    Code = torvel::runTorvel(Words);
  } catch (const torvel::EConvertError &E) {
    // main reports this; the text is all we can check here.
    const std::string Message = E.what();
    TORVEL_FUZZ_CHECK(Message.starts_with("'") &&
                      Message.ends_with("' is not a valid integer value"));
    Code = 1;
  }
  TORVEL_FUZZ_CHECK(::fchdir(S.HomeFd) == 0);
  TORVEL_FUZZ_CHECK(::dup2(S.StdoutFd, STDOUT_FILENO) >= 0);
  Output = readWhole(S.Capture);
  return Code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data,
                                      std::size_t Size) {
  Setup &S = setup();
  const std::vector<std::string_view> Parts = splitParts(asText(Data, Size));
  const std::vector<std::string> Words = commandLine(Parts[0]);
  const std::string Bmp = S.Work + "/a.bmp", Ini = S.Work + "/map.ini",
                    Flash = S.Work + "/full.bin";
  writeWhole(Bmp, Parts[1]);
  writeWhole(Ini, Parts[2]);
  writeDump(Flash, Parts[3]);
  const std::string FlashBefore = flashTail(Flash);

  std::string Output;
  const int Code = runCaptured(S, Words, Output);

  TORVEL_FUZZ_CHECK(Code == 0 || Code == 1 || Code == 2);
  if (Output.starts_with(".BMP to VKlay"))
    TORVEL_FUZZ_CHECK(Code == 0 || Code == 2);
  else if (!Output.empty()) {
    // Otherwise the one report line, and success only when it says so.
    TORVEL_FUZZ_CHECK(Output.starts_with("ERROR: ") && Output.ends_with("\r\n"));
    TORVEL_FUZZ_CHECK(Output.find('\n') == Output.size() - 1);
    TORVEL_FUZZ_CHECK(Code == 1 || Output.ends_with(" Converted OK\r\n"));
  }
  // Inputs are never written; a file the words do not name as one may be.
  const std::vector<std::string> Inputs = inputNames(Words);
  if (isInput(Inputs, "a.bmp"))
    TORVEL_FUZZ_CHECK(readWhole(Bmp) == Parts[1]);
  if (isInput(Inputs, "map.ini"))
    TORVEL_FUZZ_CHECK(readWhole(Ini) == Parts[2]);
  if (isInput(Inputs, "full.bin"))
    TORVEL_FUZZ_CHECK(flashTail(Flash) == FlashBefore);
  emptyFolder(S.Work);
  return 0;
}

// A whole run of the picture tool in a folder of its own. The input holds up
// to three parts split by Separator: the command-line words (one per line),
// the configuration file map.ini and the bytes of the dump full.bin from the
// picture table on. Words are cut down to characters that name files inside
// the current folder only.
#include "flash/picture_table.h"
#include "fuzz_util.h"
#include "pics/pics.h"

#include <fcntl.h>
#include <filesystem>
#include <set>
#include <unistd.h>
#include <vector>

namespace {

using namespace torvel::fuzz;

constexpr std::string_view Separator = "\n##torvel##\n";

std::vector<std::string> commandLine(std::string_view Text) {
  std::vector<std::string> Words;
  while (!Text.empty() && Words.size() < 12) {
    std::string Word;
    for (char C : Text.substr(0, Text.find('\n')))
      if (std::isalnum(static_cast<unsigned char>(C)) ||
          std::string_view(".$+-_= ").find(C) != std::string_view::npos)
        Word += C;
    Words.push_back(Word);
    Text.remove_prefix(std::min(Text.size(), Text.find('\n') + 1));
  }
  return Words;
}

std::set<std::string> folderNames(const std::string &Path) {
  std::set<std::string> Names;
  for (const auto &Entry : std::filesystem::directory_iterator(Path))
    Names.insert(Entry.path().filename().string());
  return Names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data,
                                      std::size_t Size) {
  static ScratchFolder Root("fuzz-pics");
  static const int Home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  static const int Quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  static const int Out = ::dup(STDOUT_FILENO), Err = ::dup(STDERR_FILENO);
  std::string_view Input = asText(Data, Size);
  std::string_view Parts[3];
  for (std::string_view &Part : Parts) {
    Part = Input.substr(0, Input.find(Separator));
    Input.remove_prefix(std::min(Input.size(), Part.size() + Separator.size()));
  }
  const std::vector<std::string> Words = commandLine(Parts[0]);
  TORVEL_FUZZ_CHECK(::chdir(Root.path().c_str()) == 0);
  writeWhole("map.ini", Parts[1]);
  writeDump("full.bin", Parts[2]);
  std::vector<std::string> Args = {"-C", "map.ini"};
  Args.insert(Args.end(), Words.begin(), Words.end());
  const std::set<std::string> Before = folderNames(".");

  ::dup2(Quiet, STDOUT_FILENO);
  ::dup2(Quiet, STDERR_FILENO);
  const int Code = torvel::runPics(Args);
  ::dup2(Out, STDOUT_FILENO);
  ::dup2(Err, STDERR_FILENO);

  TORVEL_FUZZ_CHECK(Code == 0 || Code == 1 || Code == 2);
  // The inputs never change; a failed run leaves no file, a good one its
  // output (a sheet's pages can be several), and never a temporary one.
  TORVEL_FUZZ_CHECK(readWhole("map.ini") == Parts[1]);
  const std::string Dump = readWhole("full.bin");
  TORVEL_FUZZ_CHECK(Parts[2].empty() ? Dump.empty()
                                     : Dump.substr(torvel::PictureTableOffset) == Parts[2]);
  const std::set<std::string> After = folderNames(".");
  TORVEL_FUZZ_CHECK(After.size() >= Before.size());
  const std::size_t Made = After.size() - Before.size();
  TORVEL_FUZZ_CHECK(Code == 0 || Made == 0);
  for (const std::string &Name : After)
    if (!Before.contains(Name)) {
      TORVEL_FUZZ_CHECK(Name.find(".tmp") == std::string::npos);
      TORVEL_FUZZ_CHECK(Made == 1 || Name.ends_with(".png"));
      std::filesystem::remove(Name);
    }
  TORVEL_FUZZ_CHECK(::fchdir(Home) == 0);
  return 0;
}

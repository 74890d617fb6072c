// Whole check and apply runs of the picture tool in a folder of its own. The
// input holds up to five parts split by Separator: the command-line words
// (one per line), the configuration map.ini, the bytes of the dump full.bin
// from the picture table on, and two patches a.vkp and b.vkp. Words are cut
// down to characters that name files inside the current folder only.
#include "flash/picture_table.h"
#include "fuzz_util.h"
#include "pics/args.h"
#include "pics/pics.h"

#include <fcntl.h>
#include <filesystem>
#include <map>
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
    Text.remove_prefix(std::min(Text.size(), Text.find('\n')));
    Text.remove_prefix(Text.empty() ? 0 : 1);
  }
  return Words;
}

std::map<std::string, std::uintmax_t> folderFiles(const std::string &Path) {
  std::map<std::string, std::uintmax_t> Files;
  for (const auto &Entry : std::filesystem::directory_iterator(Path))
    Files[Entry.path().filename().string()] = Entry.file_size();
  return Files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data,
                                      std::size_t Size) {
  static ScratchFolder Root("fuzz-apply");
  static const int Home = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  static const int Quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  static const int Out = ::dup(STDOUT_FILENO), Err = ::dup(STDERR_FILENO);
  std::string_view Input = asText(Data, Size);
  std::string_view Parts[5];
  for (std::string_view &Part : Parts) {
    Part = Input.substr(0, Input.find(Separator));
    Input.remove_prefix(std::min(Input.size(), Part.size() + Separator.size()));
  }
  const std::vector<std::string> Words = commandLine(Parts[0]);
  TORVEL_FUZZ_CHECK(::chdir(Root.path().c_str()) == 0);
  writeWhole("map.ini", Parts[1]);
  writeDump("full.bin", Parts[2]);
  writeWhole("a.vkp", Parts[3]);
  writeWhole("b.vkp", Parts[4]);
  std::vector<std::string> Args = {"-C", "map.ini"};
  Args.insert(Args.end(), Words.begin(), Words.end());
  const std::map<std::string, std::uintmax_t> Before = folderFiles(".");

  ::dup2(Quiet, STDOUT_FILENO);
  ::dup2(Quiet, STDERR_FILENO);
  const int Code = torvel::runPics(Args);
  ::dup2(Out, STDOUT_FILENO);
  ::dup2(Err, STDERR_FILENO);

  TORVEL_FUZZ_CHECK(Code == 0 || Code == 1 || Code == 2);
  // The inputs never change. A failed run leaves no file; a good one writes
  // at most its output, which for apply is as long as the dump, and never
  // leaves a temporary file. A patch the run does not read may be its output.
  const auto Parsed = torvel::parseCommandLine(Args);
  const torvel::Request *Req = std::get_if<torvel::Request>(&Parsed);
  const std::set<std::string> Read =
      Req ? std::set<std::string>(Req->PatchNames.begin(), Req->PatchNames.end())
          : std::set<std::string>();
  TORVEL_FUZZ_CHECK(readWhole("map.ini") == Parts[1]);
  const std::string Dump = readWhole("full.bin");
  TORVEL_FUZZ_CHECK(Parts[2].empty() ? Dump.empty()
                                     : Dump.substr(torvel::PictureTableOffset) == Parts[2]);
  std::set<std::string> Written;
  for (const auto &[Name, Text] : {std::pair("a.vkp", Parts[3]), std::pair("b.vkp", Parts[4])})
    if (readWhole(Name) != Text) {
      TORVEL_FUZZ_CHECK(!Read.contains(Name));
      Written.insert(Name);
    }
  const std::map<std::string, std::uintmax_t> After = folderFiles(".");
  for (const auto &[Name, FileSize] : After)
    if (!Before.contains(Name)) {
      const std::size_t Tmp = Name.rfind(".tmp");
      TORVEL_FUZZ_CHECK(Tmp == std::string::npos || Tmp + 4 == Name.size() ||
                        Name.find_first_not_of("0123456789", Tmp + 4) != std::string::npos);
      Written.insert(Name);
    }
  TORVEL_FUZZ_CHECK(Written.size() <= (Code == 0 ? 1u : 0u));
  for (const std::string &Name : Written) {
    TORVEL_FUZZ_CHECK(Req && Name == Req->OutputName);
    TORVEL_FUZZ_CHECK(Req->Cmd != torvel::Command::Apply || After.at(Name) == Dump.size());
    if (!Before.contains(Name))
      std::filesystem::remove(Name);
  }
  TORVEL_FUZZ_CHECK(::fchdir(Home) == 0);
  return 0;
}

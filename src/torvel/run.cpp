#include "torvel/run.h"

#include "base/int_text.h"
#include "base/path.h"
#include "flash/picture_table.h"
#include "picture/bmp.h"
#include "picture/vkp.h"
#include "torvel/args.h"
#include "torvel/run_state.h"

#include <optional>
#include <vector>

namespace torvel {

namespace {

void checkArguments(RunState &Run) {
  if (!Run.Status.empty())
    return;
  if (Run.BmpName.empty() || Run.FlashName.empty() || Run.PictureIndex < 0)
    Run.Status = "Incorrect parameters";
}

void loadBlockMap(RunState &Run) {
  if (!Run.Status.empty())
    return;
  std::optional<BlockMap> Map = readBlockMap(Run.ConfigPath);
  if (!Map) {
    Run.Status = "Cannot open " + Run.ConfigPath;
    return;
  }
  Run.Map = std::move(*Map);
}

void openFlash(RunState &Run) {
  if (!Run.Status.empty())
    return;
  // Read access only: the dump is never written, and may be read-only.
  std::optional<File> Flash =
      File::openForReading(Run.FlashName, File::Sharing::ReadWrite);
  if (!Flash) {
    Run.Status = "Couldn't open file " + Run.FlashName;
    return;
  }
  Run.Flash = std::move(*Flash);
}

// The files that the output and error files must never overwrite.
std::vector<FileIdentity> inputIdentities(const RunState &Run) {
  std::vector<FileIdentity> Inputs;
  // By name too: a run that stops before the open still protects the dump.
  std::optional<FileIdentity> Flash = Run.Flash.identity();
  if (!Flash)
    Flash = identifyFile(Run.FlashName);
  for (std::optional<FileIdentity> Id :
       {identifyFile(Run.BmpName), Flash,
        identifyFile(expandPath(Run.ConfigPath))})
    if (Id)
      Inputs.push_back(*Id);
  return Inputs;
}

void openOutput(RunState &Run) {
  if (!Run.Status.empty())
    return;
  if (Run.OutputName.empty())
    Run.OutputName = changeFileExt(Run.BmpName, ".vkp");
  if (File::createForWriting(Run.OutputName, inputIdentities(Run),
                             Run.Output) != File::CreateResult::Created)
    Run.Status = "Couldn't write to " + Run.OutputName;
}

// The row lines of the BMP at the size of Entry, or nothing with Run.Status
// set.
std::vector<std::string> buildRowLines(RunState &Run,
                                       const PictureEntry &Entry) {
  TBitmap Picture;
  std::string Reason;
  if (!Picture.loadFromFile(Run.BmpName, Entry.Width, Entry.Height, Reason)) {
    Run.Status = "cannot load " + Run.BmpName;
    return {};
  }
  Picture.setWidth(Entry.Width);
  Picture.setHeight(Entry.Height);

  const std::int32_t Offset = translateAddress(Run.Map, Entry.Address);
  if (Offset == -1) {
    // Rows numbered from FFFFFFFF would land anywhere in the phone's flash.
    Run.Status = "Unmapped picture address " +
                 hex8(static_cast<std::uint32_t>(Entry.Address));
    return {};
  }

  std::vector<std::string> Lines;
  auto RowOffset = static_cast<std::uint32_t>(Offset);
  for (std::int32_t Y = 0; Y < Picture.height(); ++Y) {
    Lines.push_back(packRow(Picture, Y, RowOffset));
    RowOffset += bytesPerRow(Picture.width());
  }
  return Lines;
}

void convertPicture(RunState &Run) {
  if (!Run.Status.empty())
    return;
  std::optional<PictureEntry> Entry =
      readPictureEntry(Run.Flash, Run.PictureIndex);
  if (!Entry) {
    Run.Status = "Bad FF file " + Run.FlashName;
    return;
  }
  // The header goes out before the picture loads, and stays if that fails.
  if (!Run.Output.write(patchHeader(Run.PictureIndex) + "\r\n")) {
    Run.Status = "Cannot save to " + Run.OutputName;
    return;
  }
  std::vector<std::string> Lines = buildRowLines(Run, *Entry);
  if (!Run.Status.empty())
    return;
  std::string Text;
  for (const std::string &Line : Lines)
    Text += Line + "\r\n";
  if (!Run.Output.write(Text))
    Run.Status = "Cannot save to " + Run.OutputName;
}

void closeFiles(RunState &Run) {
  // A write error may surface only when the data reach the disk.
  if (Run.Output.isOpen() && !Run.Output.close() && Run.Status.empty())
    Run.Status = "Cannot save to " + Run.OutputName;
  Run.Flash.close();
}

// Writes the report line; a failed run or a lost report exits with 1.
int report(RunState &Run, bool Failed,
           const std::vector<FileIdentity> &Protected) {
  std::string Line = "ERROR: " + Run.Status + "\r\n";
  if (Run.ErrorName.empty())
    return writeStdout(Line) && !Failed ? 0 : 1;
  File ErrorFile;
  if (File::createForWriting(Run.ErrorName, Protected, ErrorFile) !=
      File::CreateResult::Created) {
    Run.Status = "Couldn't open file " + Run.ErrorName;
    return 1;
  }
  bool Written = ErrorFile.write(Line);
  bool Closed = ErrorFile.close();
  return Written && Closed && !Failed ? 0 : 1;
}

} // namespace

int runTorvel(const std::vector<std::string> &Args) {
  RunState Run;
  Run.ConfigPath = executableFolder() + "MARLOW.INI";
  switch (parseArguments(Run, Args)) {
  case ParseOutcome::NoArguments:
    writeStdout(usageScreen());
    return 2;
  case ParseOutcome::HelpAsked:
    writeStdout(usageScreen());
    return 0;
  case ParseOutcome::Continue:
    break;
  }
  checkArguments(Run);
  loadBlockMap(Run);
  openFlash(Run);
  openOutput(Run);
  convertPicture(Run);

  // The error file must not land on an input or on the patch just written.
  std::vector<FileIdentity> Protected = inputIdentities(Run);
  if (std::optional<FileIdentity> Out = Run.Output.identity())
    Protected.push_back(*Out);

  closeFiles(Run);
  bool Failed = !Run.Status.empty();
  if (!Failed)
    Run.Status = Run.BmpName + " -> " + Run.OutputName + " Converted OK";
  return report(Run, Failed, Protected);
}

std::string uncaughtReport(const std::string &ClassName,
                           const std::string &Module, std::uint32_t Address,
                           const std::string &Message) {
  std::string Text = "Exception " + ClassName + " in module " + Module +
                     " at " + hex8(Address) + ".\n" + Message;
  if (Text.empty() || Text.back() != '.')
    Text += '.';
  return Text + "\r\n";
}

} // namespace torvel

#include "base/platform.h"

#include <algorithm>

namespace torvel {

File::CreateResult StagedFile::create(const std::string &Name,
                                     std::span<const FileIdentity> Protected,
                                     StagedFile &Out) {
  std::optional<FileIdentity> Target = identifyFile(Name);
  if (Target && std::find(Protected.begin(), Protected.end(), *Target) !=
                    Protected.end())
    return File::CreateResult::IsProtected;
  // A leftover of an earlier run may hold the first names.
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    std::string Temporary = Name + ".tmp" + std::to_string(Attempt);
    std::optional<File> Created = File::createNew(Temporary);
    if (!Created)
      continue;
    Out = StagedFile();
    Out.Out = std::move(*Created);
    Out.Name = Name;
    Out.Temporary = std::move(Temporary);
    Out.Ok = true;
    return File::CreateResult::Created;
  }
  return File::CreateResult::Failed;
}

StagedFile::StagedFile(StagedFile &&Other) noexcept
    : Out(std::move(Other.Out)), Name(std::move(Other.Name)),
      Temporary(std::exchange(Other.Temporary, {})),
      Ok(std::exchange(Other.Ok, false)) {}

StagedFile &StagedFile::operator=(StagedFile &&Other) noexcept {
  if (this != &Other) {
    discard();
    Out = std::move(Other.Out);
    Name = std::move(Other.Name);
    Temporary = std::exchange(Other.Temporary, {});
    Ok = std::exchange(Other.Ok, false);
  }
  return *this;
}

StagedFile::~StagedFile() { discard(); }

void StagedFile::discard() {
  if (Temporary.empty())
    return;
  Out.close();
  removeFile(Temporary);
  Temporary.clear();
  Ok = false;
}

bool StagedFile::write(std::string_view Text) {
  Ok = Ok && Out.write(Text);
  return Ok;
}

bool StagedFile::close() {
  if (Temporary.empty())
    return false;
  if (!Out.close() || !Ok) {
    discard();
    return false;
  }
  return true;
}

bool StagedFile::commit() {
  if (Temporary.empty())
    return false;
  const bool Closed = Out.close();
  if (!Ok || !Closed || !replaceFile(Temporary, Name)) {
    discard();
    return false;
  }
  Temporary.clear();
  return true;
}

File::CreateResult saveFile(const std::string &Name, std::string_view Data,
                            std::span<const FileIdentity> Protected) {
  StagedFile Out;
  File::CreateResult Result = StagedFile::create(Name, Protected, Out);
  if (Result != File::CreateResult::Created)
    return Result;
  Out.write(Data);
  return Out.commit() ? Result : File::CreateResult::Failed;
}

} // namespace torvel

#include "pics/commands.h"

#include "base/path.h"
#include "base/sha256.h"
#include "patch/verified_patch.h"
#include "picture/bmp.h"
#include "picture/vkp.h"

namespace torvel {

namespace {

// Whole dumps are hashed in pieces this large.
constexpr std::size_t HashChunk = 1 << 20;

std::optional<Sha256Digest> hashWhole(ByteSource &Dump) {
  Sha256 Hash;
  std::vector<std::uint8_t> Chunk(HashChunk);
  const std::uint64_t Size = Dump.size();
  for (std::uint64_t At = 0; At < Size;) {
    const std::size_t Want =
        static_cast<std::size_t>(std::min<std::uint64_t>(Chunk.size(), Size - At));
    if (Dump.readAt(At, std::span(Chunk).first(Want)) != Want)
      return std::nullopt;
    Hash.update(std::span(Chunk).first(Want));
    At += Want;
  }
  return Hash.finish();
}

} // namespace

std::optional<Stop> runPatch(Session &S) {
  Picture P;
  if (std::optional<Stop> Failed = S.findPicture(S.Req.Index, Need::Bytes, P))
    return Failed;
  const PictureEntry &E = P.Place.Entry;
  if (std::optional<Stop> Empty = refuseNoPixels(P))
    return Empty;
  // Loaded, cut and packed exactly as torvel does, for the same bytes.
  TBitmap Bitmap;
  std::string Reason;
  if (!Bitmap.loadFromFile(S.Req.InputName, E.Width, E.Height, Reason))
    return Stop{"cannot load BMP file " + S.Req.InputName + ": " + Reason};
  Bitmap.setWidth(E.Width);
  Bitmap.setHeight(E.Height);
  std::vector<std::uint8_t> NewRows;
  for (std::int32_t Y = 0; Y < E.Height; ++Y) {
    const std::vector<std::uint8_t> Row = packRowBytes(Bitmap, Y);
    NewRows.insert(NewRows.end(), Row.begin(), Row.end());
  }
  const std::optional<Sha256Digest> Hash = hashWhole(S.Flash);
  if (!Hash)
    return Stop{"cannot read " + S.Req.FlashName};
  return S.save(S.Req.OutputName,
                verifiedPatchText(P.Index, E, static_cast<std::uint32_t>(P.Place.Offset),
                                  P.Rows, NewRows, baseName(S.Req.FlashName),
                                  S.Flash.size(), *Hash),
                {S.Req.InputName});
}

} // namespace torvel

#include "pics/commands.h"

#include "base/path.h"
#include "base/sha256.h"
#include "patch/verified_patch.h"
#include "picture/bmp.h"
#include "picture/vkp.h"

namespace torvel {

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
  const std::vector<std::uint8_t> NewRows = packRows(Bitmap);
  const std::optional<Sha256Digest> Hash = sha256Of(S.Flash);
  if (!Hash)
    return Stop{"cannot read " + S.Req.FlashName};
  return S.save(S.Req.OutputName,
                verifiedPatchText(P.Index, E, static_cast<std::uint32_t>(P.Place.Offset),
                                  P.Rows, NewRows, baseName(S.Req.FlashName),
                                  S.Flash.size(), *Hash),
                {S.Req.InputName});
}

} // namespace torvel

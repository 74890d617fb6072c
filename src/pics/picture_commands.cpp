#include "pics/commands.h"

#include "base/int_text.h"
#include "picture/mono_bmp.h"
#include "picture/vkp.h"

namespace torvel {

namespace {

std::string sizeText(const PictureEntry &E) {
  return std::to_string(E.Width) + " x " + std::to_string(E.Height);
}

} // namespace

std::string showHeader(const Picture &P) {
  const PicturePlace &Place = P.Place;
  return "Picture " + std::to_string(P.Index) + ": " + sizeText(Place.Entry) +
         ", address " + hex8(static_cast<std::uint32_t>(Place.Entry.Address)) +
         ", offset " +
         (Place.Offset == -1 ? std::string("unmapped")
                             : hex8(static_cast<std::uint32_t>(Place.Offset))) +
         ", " + std::to_string(Place.Size) + " bytes\n";
}

std::optional<Stop> runShow(Session &S) {
  Picture P;
  if (std::optional<Stop> Failed = S.findPicture(S.Req.Index, Need::Bytes, P))
    return Failed;
  std::string Text = showHeader(P);
  for (std::int32_t Y = 0; Y < P.Place.Entry.Height; ++Y)
    Text += drawRow(P.row(Y), P.Place.Entry.Width) + "\n";
  if (!writeStdout(Text))
    return Stop{"cannot write to standard output"};
  return std::nullopt;
}

std::optional<Stop> runExtract(Session &S) {
  Picture P;
  if (std::optional<Stop> Failed = S.findPicture(S.Req.Index, Need::Bytes, P))
    return Failed;
  if (std::optional<Stop> Empty = refuseNoPixels(P))
    return Empty;
  const PictureEntry &E = P.Place.Entry;
  return S.save(S.Req.OutputName, monochromeBmp(P.Rows, E.Width, E.Height));
}

std::optional<Stop> runRestore(Session &S) {
  Picture P;
  if (std::optional<Stop> Failed = S.findPicture(S.Req.Index, Need::Bytes, P))
    return Failed;
  // A record without data is not valid VKP.
  if (std::optional<Stop> Empty = refuseNoPixels(P))
    return Empty;
  const PictureEntry &E = P.Place.Entry;
  return S.save(S.Req.OutputName,
                restorePatchText(P.Index, static_cast<std::uint32_t>(P.Place.Offset),
                                 P.Rows, E.Width, E.Height));
}

} // namespace torvel

#include "pics/commands.h"

#include "image/decode.h"
#include "image/fit.h"
#include "image/grey.h"
#include "image/ink.h"
#include "picture/mono_bmp.h"
#include "picture/vkp.h"

namespace torvel {

std::optional<Stop> runImport(Session &S) {
  const Request &Req = S.Req;
  Picture P;
  if (std::optional<Stop> Failed = S.findPicture(Req.Index, Need::Entry, P))
    return Failed;
  const std::int32_t Width = P.Place.Entry.Width;
  const std::int32_t Height = P.Place.Entry.Height;
  if (std::optional<Stop> Empty = refuseNoPixels(P))
    return Empty;

  std::optional<File> Input =
      File::openForReading(Req.InputName, File::Sharing::ReadOnly);
  if (!Input)
    return Stop{"cannot open image " + Req.InputName};
  GreyImage Grey;
  {
    // The decoded colours go before the grey image is scaled.
    std::string Reason;
    const RgbaImage Decoded = decodeImage(*Input, DecodeLimits(), Reason);
    if (Decoded.empty())
      return Stop{"cannot read image " + Req.InputName + ": " + Reason};
    Grey = greyLevels(Decoded, Req.Import.BlackBackground);
  }
  const std::optional<Placement> Placed =
      fitImage(Grey, Width, Height, Req.Import.Fitting);
  if (!Placed)
    return Stop{"cannot scale image " + Req.InputName + ": out of memory"};
  P.Rows = inkRows(*Placed, Width, Height, Req.Import);

  if (std::optional<Stop> Failed =
          S.save(Req.OutputName, monochromeBmp(P.Rows, Width, Height),
                 {Req.InputName}))
    return Failed;
  std::string Text = showHeader(P);
  for (std::int32_t Y = 0; Y < Height; ++Y)
    Text += drawRow(P.row(Y), Width) + "\n";
  if (!writeStdout(Text))
    return Stop{"cannot write to standard output"};
  return std::nullopt;
}

} // namespace torvel

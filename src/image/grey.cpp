#include "image/grey.h"

#include <algorithm>

namespace torvel {

GreyImage greyLevels(const RgbaImage &Image, bool BlackBackground) {
  GreyImage Grey;
  Grey.Width = Image.width();
  Grey.Height = Image.height();
  const std::size_t Count = std::size_t(Grey.Width) * std::size_t(Grey.Height);
  Grey.Levels.resize(Count);
  const std::uint32_t Bg = BlackBackground ? 0 : 255;
  const std::uint8_t *In = Image.pixels().data();
  std::uint8_t *Out = Grey.Levels.data();
  // Opaque runs skip the blend, which leaves their colours as they are, in a
  // loop the compiler vectorises.
  constexpr std::size_t Run = 256;
  for (std::size_t Start = 0; Start < Count; Start += Run) {
    const std::size_t End = std::min(Count, Start + Run);
    std::uint8_t Alpha = 255;
    for (std::size_t I = Start; I < End; ++I)
      Alpha &= In[4 * I + 3];
    if (Alpha == 255) {
      for (std::size_t I = Start; I < End; ++I)
        Out[I] = static_cast<std::uint8_t>(
            greyLevel(In[4 * I], In[4 * I + 1], In[4 * I + 2]));
      continue;
    }
    for (std::size_t I = Start; I < End; ++I) {
      const std::uint32_t A = In[4 * I + 3];
      Out[I] = static_cast<std::uint8_t>(greyLevel(
          overBackground(In[4 * I], A, Bg), overBackground(In[4 * I + 1], A, Bg),
          overBackground(In[4 * I + 2], A, Bg)));
    }
  }
  return Grey;
}

} // namespace torvel

// What a picture file's first bytes tell: its kind, and the size its header
// claims, read without decoding anything.
#ifndef TORVEL_IMAGE_HEADER_H
#define TORVEL_IMAGE_HEADER_H

#include "base/byte_source.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace torvel {

enum class ImageKind { Png, Jpeg, Gif, Bmp, Pnm, OtherPnm, Unknown };

// How many first bytes sniffImage looks at.
inline constexpr std::size_t SniffBytes = 8;

// The kind the signature at the start of a file names. OtherPnm: a PNM kind
// that is not read (P1 to P4, P7).
ImageKind sniffImage(std::span<const std::uint8_t> Head);

// "PNG", "JPEG", ...
const char *kindName(ImageKind Kind);

struct ImageSize {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
};

// The size in the header of a PNG, JPEG, GIF or PNM file, when it can be
// read; for the message about a picture too large to decode.
std::optional<ImageSize> claimedSize(ImageKind Kind, ByteSource &Source);

// False when a Huffman table of a JPEG file holds more than 256 codes:
// stb_image 2.27 writes past its tables then, so such a file must not reach
// it.
bool jpegTablesFit(ByteSource &Source);

// False when a number in a PNM header has more than 9 digits, which
// stb_image 2.27 would overflow.
bool pnmNumbersFit(ByteSource &Source);

} // namespace torvel

#endif

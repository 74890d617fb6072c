// Writes example.bin: a 4 MiB fullflash image, mostly empty (0xFF as erased
// flash reads), holding a picture table at 0xDDF30 and the pictures' old
// pixel data where the example configuration maps their addresses. Picture
// 5 lies where no block maps it, picture 6 runs past the end of the image,
// and the erased entry after it ends the table.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Picture {
  std::uint8_t Width, Height;
  std::uint16_t Word, Page; // phone address = Page << 14 | Word
};

// Picture 3 lies at phone address 0x412340, in Block2: offset 0x112340.
const Picture Pictures[] = {
    {16, 16, 0x0000, 0x0100}, {101, 80, 0x1000, 0x0100},
    {8, 8, 0x2000, 0x0100},   {32, 16, 0x2340, 0x0104},
    {40, 24, 0x3000, 0x0104}, {48, 48, 0x0000, 0x0200},
    {64, 64, 0x3F00, 0x01BF},
};

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_flash OUTPUT\n");
    return 2;
  }
  std::vector<std::uint8_t> Image(4 << 20, 0xFF);
  std::size_t Entry = 0xDDF30;
  for (const Picture &P : Pictures) {
    const std::uint8_t Bytes[8] = {P.Width,
                                   P.Height,
                                   0,
                                   0,
                                   std::uint8_t(P.Word),
                                   std::uint8_t(P.Word >> 8),
                                   std::uint8_t(P.Page),
                                   std::uint8_t(P.Page >> 8)};
    for (std::uint8_t B : Bytes)
      Image[Entry++] = B;
  }
  // The old picture 0: a diagonal cross; picture 1: a pattern whose bits past
  // the last column are not all set.
  for (std::size_t Y = 0; Y < 16; ++Y) {
    const unsigned Row = 0x8000u >> Y | 1u << Y;
    Image[0x100000 + 2 * Y] = std::uint8_t(Row >> 8);
    Image[0x100000 + 2 * Y + 1] = std::uint8_t(Row);
  }
  for (std::size_t I = 0; I < 13 * 80; ++I)
    Image[0x101000 + I] = std::uint8_t(I * 167 + 13);
  // The old picture 3: a checkerboard.
  for (std::size_t I = 0; I < 4 * 16; ++I)
    Image[0x112340 + I] = (I / 4) % 2 ? 0xAA : 0x55;
  // The old picture 4: a frame, 5 bytes a row, at offset 0x113000.
  for (std::size_t Y = 0; Y < 24; ++Y)
    for (std::size_t X = 0; X < 5; ++X)
      Image[0x113000 + 5 * Y + X] =
          Y == 0 || Y == 23 ? 0xFF : X == 0 ? 0x80 : X == 4 ? 0x01 : 0x00;
  std::FILE *Out = std::fopen(argv[1], "wb");
  if (!Out || std::fwrite(Image.data(), 1, Image.size(), Out) != Image.size() ||
      std::fclose(Out) != 0) {
    std::fprintf(stderr, "make_flash: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

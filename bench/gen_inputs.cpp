// Writes the benchmark inputs into a folder: a 16 MiB fullflash whose picture
// 0 is 255 x 255, the block map that places it, and BMPs of about 1 KiB,
// 1 MiB, 64 MiB (and with --big 1 GiB) as 24-bit bottom-up, 24-bit top-down,
// 1-bit and 8-bit run-length files. inputs.tsv lists the BMPs.
//
// Usage: gen_inputs [--big] FOLDER
#include "bmp_writer.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

using namespace torvel::bench;

namespace {

constexpr std::size_t FlashSize = 16u << 20;
constexpr std::size_t TableOffset = 0xDDF30;
// Picture 0 lies at phone address 0x1234120, which Block2 places at 0x634120.
constexpr std::uint16_t AddressWord = 0x0120;
constexpr std::uint16_t PageWord = 0x048D;
constexpr std::uint8_t PictureSide = 255;
constexpr char BlockMapText[] =
    "; The block map of flash.bin.\r\n"
    "[Block1]\r\nAddr=$00000000\r\nFFOffset=$00000000\r\nLength=$00400000\r\n"
    "\r\n"
    "[Block2]\r\nAddr=$01000000\r\nFFOffset=$00400000\r\nLength=$00C00000\r\n";
// Rows repeat with this period outside the converted region.
constexpr std::uint32_t Period = 256;

struct SizeClass {
  const char *Label;
  std::uint64_t Bytes;
  bool Big;
};

const SizeClass Sizes[] = {
    {"1k", 1u << 10, false},
    {"1m", 1u << 20, false},
    {"64m", 64u << 20, false},
    {"1g", 1u << 30, true},
};

enum class Kind { Rgb24BottomUp, Rgb24TopDown, Mono, Rle8 };

struct Shape {
  Kind K;
  const char *Name;
  const char *Label;
  std::int32_t Widths[4]; // per size class
};

const Shape Shapes[] = {
    {Kind::Rgb24BottomUp, "rgb24-bu", "24-bit bottom-up", {16, 512, 4096, 16384}},
    {Kind::Rgb24TopDown, "rgb24-td", "24-bit top-down", {16, 512, 4096, 16384}},
    {Kind::Mono, "mono1", "1-bit", {64, 4096, 32768, 65536}},
    {Kind::Rle8, "rle8", "8-bit run-length", {96, 2048, 2048, 2048}},
};

[[noreturn]] void fail(const std::string &What) {
  std::fprintf(stderr, "gen_inputs: %s: %s\n", What.c_str(),
               std::strerror(errno));
  std::exit(1);
}

struct Output {
  std::string Path;
  std::FILE *F = nullptr;
  std::vector<char> Buffer = std::vector<char>(1 << 20);

  explicit Output(std::string P) : Path(std::move(P)) {
    F = std::fopen(Path.c_str(), "wb");
    if (!F)
      fail("cannot create " + Path);
    std::setvbuf(F, Buffer.data(), _IOFBF, Buffer.size());
  }
  void write(const std::vector<std::uint8_t> &Bytes) {
    if (std::fwrite(Bytes.data(), 1, Bytes.size(), F) != Bytes.size())
      fail("cannot write " + Path);
  }
  void seek(std::uint64_t Pos) {
    if (fseeko(F, static_cast<off_t>(Pos), SEEK_SET) != 0)
      fail("cannot seek in " + Path);
  }
  // Sets the length; bytes never written stay a hole of zeros.
  void close(std::uint64_t Length) {
    if (std::fflush(F) != 0 || ftruncate(fileno(F), static_cast<off_t>(Length)) != 0 ||
        std::fclose(F) != 0)
      fail("cannot finish " + Path);
  }
};

void writeFlash(const std::string &Folder) {
  std::vector<std::uint8_t> Image(FlashSize, 0xFF); // erased flash
  const std::uint8_t Entry[8] = {PictureSide,
                                 PictureSide,
                                 0,
                                 0,
                                 std::uint8_t(AddressWord),
                                 std::uint8_t(AddressWord >> 8),
                                 std::uint8_t(PageWord),
                                 std::uint8_t(PageWord >> 8)};
  std::memcpy(&Image[TableOffset], Entry, sizeof Entry);
  // The old picture: stripes, 32 bytes a row.
  for (std::size_t I = 0; I < 32u * PictureSide; ++I)
    Image[0x634120 + I] = (I / 32) % 2 ? 0xAA : 0x55;
  Output Flash(Folder + "/flash.bin");
  Flash.write(Image);
  Flash.close(Image.size());

  Output Ini(Folder + "/bench.ini");
  Ini.write(std::vector<std::uint8_t>(BlockMapText,
                                      BlockMapText + sizeof BlockMapText - 1));
  Ini.close(sizeof BlockMapText - 1);
}

// The stored row of display row Y of an uncompressed picture.
std::vector<std::uint8_t> plainRow(const BmpFormat &F, std::uint32_t Y) {
  std::vector<std::uint8_t> Row(strideOf(F), 0);
  for (std::uint32_t X = 0; X < std::uint32_t(F.Width); ++X) {
    const bool Ink = isInk(X, Y);
    const std::uint32_t Value = F.BitCount == 1 ? (Ink ? 0 : 1)
                                : Ink           ? 0
                                                : paperColour(X, Y);
    putPixel(Row, F.BitCount, X, Value);
  }
  return Row;
}

// An uncompressed picture of about Target bytes. Sparse files hold real rows
// only where the converted region lies.
std::uint64_t writePlain(const std::string &Path, const Shape &S,
                         std::int32_t Width, std::uint64_t Target,
                         bool Sparse) {
  BmpFormat F;
  F.Width = Width;
  if (S.K == Kind::Mono) {
    F.BitCount = 1;
    F.Table = {0x000000, 0xFFFFFF};
  }
  const std::uint64_t HeaderBytes = bmpHeaders(F, 0).size();
  const std::uint64_t Stride = strideOf(F);
  const std::uint64_t Height =
      std::max<std::uint64_t>(1, (Target - HeaderBytes) / Stride);
  const bool TopDown = S.K == Kind::Rgb24TopDown;
  F.Height = static_cast<std::int32_t>(Height);
  if (TopDown)
    F.Height = -F.Height;

  std::vector<std::vector<std::uint8_t>> Rows(Period);
  for (std::uint32_t Y = 0; Y < Period; ++Y)
    Rows[Y] = plainRow(F, Y);

  Output Out(Path);
  Out.write(bmpHeaders(F, Stride * Height));
  for (std::uint64_t R = 0; R < Height; ++R) {
    const std::uint64_t Y = TopDown ? R : Height - 1 - R;
    if (Sparse && Y >= PictureSide)
      continue;
    if (Sparse)
      Out.seek(HeaderBytes + R * Stride);
    Out.write(Rows[Y % Period]);
  }
  Out.close(HeaderBytes + Stride * Height);
  return HeaderBytes + Stride * Height;
}

// An 8-bit run-length picture whose stream makes the file about Target bytes.
std::uint64_t writeRle8(const std::string &Path, std::int32_t Width,
                        std::uint64_t Target) {
  BmpFormat F;
  F.Width = Width;
  F.BitCount = 8;
  F.Compression = CompressionRle8;
  F.Table = sixteenColours();
  const std::uint64_t HeaderBytes = bmpHeaders(F, 0).size();

  // Stored row R (counted from the bottom) shows pattern row R % Period.
  std::vector<std::vector<std::uint8_t>> Rows(Period);
  std::uint64_t PeriodBytes = 0;
  for (std::uint32_t R = 0; R < Period; ++R) {
    std::vector<std::uint8_t> Indices(static_cast<std::size_t>(Width));
    for (std::uint32_t X = 0; X < std::uint32_t(Width); ++X)
      Indices[X] = indexedPixel(X, R);
    appendRleRow(Rows[R], Indices, 8);
    PeriodBytes += Rows[R].size();
  }
  const std::uint64_t Budget = Target - HeaderBytes - 2; // end-of-picture code
  std::uint64_t Height = Budget / PeriodBytes * Period;
  std::uint64_t Stream = Budget / PeriodBytes * PeriodBytes;
  while (Stream + Rows[Height % Period].size() <= Budget) {
    Stream += Rows[Height % Period].size();
    ++Height;
  }
  if (Height == 0) {
    Height = 1;
    Stream = Rows[0].size();
  }
  Stream += 2;
  F.Height = static_cast<std::int32_t>(Height);

  Output Out(Path);
  Out.write(bmpHeaders(F, Stream));
  for (std::uint64_t R = 0; R < Height; ++R)
    Out.write(Rows[R % Period]);
  Out.write({0, 1});
  Out.close(HeaderBytes + Stream);
  return HeaderBytes + Stream;
}

} // namespace

int main(int argc, char **argv) {
  bool Big = false;
  std::vector<std::string> Folders;
  for (int I = 1; I < argc; ++I) {
    if (std::strcmp(argv[I], "--big") == 0)
      Big = true;
    else
      Folders.push_back(argv[I]);
  }
  if (Folders.size() != 1) {
    std::fprintf(stderr, "usage: gen_inputs [--big] FOLDER\n");
    return 2;
  }
  const std::string &Folder = Folders[0];
  writeFlash(Folder);
  std::string List = "name\tformat\tsize\tbytes\tcompressed\n";
  for (const Shape &S : Shapes) {
    for (std::size_t C = 0; C < std::size(Sizes); ++C) {
      const SizeClass &Size = Sizes[C];
      if (Size.Big && !Big)
        continue;
      const std::string Name = std::string(S.Name) + "-" + Size.Label + ".bmp";
      const std::string Path = Folder + "/" + Name;
      const std::uint64_t Bytes =
          S.K == Kind::Rle8
              ? writeRle8(Path, S.Widths[C], Size.Bytes)
              : writePlain(Path, S, S.Widths[C], Size.Bytes, Size.Big);
      List += Name + "\t" + S.Label + "\t" + Size.Label + "\t" +
              std::to_string(Bytes) + "\t" + (S.K == Kind::Rle8 ? "yes" : "no") +
              "\n";
    }
  }
  Output Index(Folder + "/inputs.tsv");
  Index.write(std::vector<std::uint8_t>(List.begin(), List.end()));
  Index.close(List.size());
  return 0;
}

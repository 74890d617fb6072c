// Micro-benchmarks: loading a 255 x 255 region from a 1024 x 1024 BMP of
// each format and packing it into row lines, from files in a temp folder.
#include "bmp_writer.h"

#include "picture/bmp.h"
#include "picture/vkp.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace torvel::bench;

namespace {

constexpr std::int32_t Side = 1024;
constexpr std::int32_t Region = 255;
constexpr std::uint32_t RowOffset = 0x634120;

struct Case {
  std::string Name;
  BmpFormat Format;
  // The stored value of pixel (X, Y), counted from the top-left as displayed.
  std::function<std::uint32_t(std::uint32_t, std::uint32_t)> Value;
};

std::uint32_t to555(std::uint32_t C) {
  return (C >> 19 & 31) << 10 | (C >> 11 & 31) << 5 | (C >> 3 & 31);
}

std::uint32_t to565(std::uint32_t C) {
  return (C >> 19 & 31) << 11 | (C >> 10 & 63) << 5 | (C >> 3 & 31);
}

std::uint32_t colourAt(std::uint32_t X, std::uint32_t Y) {
  return isInk(X, Y) ? 0 : paperColour(X, Y);
}

std::vector<Case> cases() {
  auto Make = [](std::string Name, std::uint16_t BitCount,
                 std::uint32_t Compression, std::vector<std::uint32_t> Table,
                 std::vector<std::uint32_t> Masks,
                 std::function<std::uint32_t(std::uint32_t, std::uint32_t)> V,
                 bool TopDown = false) {
    Case C;
    C.Name = std::move(Name);
    C.Format.Width = Side;
    C.Format.Height = TopDown ? -Side : Side;
    C.Format.BitCount = BitCount;
    C.Format.Compression = Compression;
    C.Format.Table = std::move(Table);
    C.Format.Masks = std::move(Masks);
    C.Value = std::move(V);
    return C;
  };
  std::vector<std::uint32_t> Colours256 = sixteenColours();
  for (std::uint32_t I = 16; I < 256; ++I)
    Colours256.push_back(I * 0x010101);
  auto Indexed = [](std::uint32_t X, std::uint32_t Y) -> std::uint32_t {
    return indexedPixel(X, Y);
  };
  return {
      Make("1bit", 1, CompressionPlain, {0x000000, 0xFFFFFF}, {},
           [](std::uint32_t X, std::uint32_t Y) -> std::uint32_t {
             return isInk(X, Y) ? 0 : 1;
           }),
      Make("4bit", 4, CompressionPlain, sixteenColours(), {}, Indexed),
      Make("8bit", 8, CompressionPlain, Colours256, {}, Indexed),
      Make("16bit", 16, CompressionPlain, {}, {},
           [](std::uint32_t X, std::uint32_t Y) { return to555(colourAt(X, Y)); }),
      Make("24bit", 24, CompressionPlain, {}, {}, colourAt),
      Make("24bit_topdown", 24, CompressionPlain, {}, {}, colourAt, true),
      Make("32bit", 32, CompressionPlain, {}, {}, colourAt),
      Make("16bit_bitfields565", 16, CompressionBitFields, {},
           {0xF800, 0x07E0, 0x001F},
           [](std::uint32_t X, std::uint32_t Y) { return to565(colourAt(X, Y)); }),
      Make("32bit_bitfields", 32, CompressionBitFields, {},
           {0xFF000000, 0x00FF0000, 0x0000FF00},
           [](std::uint32_t X, std::uint32_t Y) { return colourAt(X, Y) << 8; }),
      Make("rle8", 8, CompressionRle8, sixteenColours(), {}, Indexed),
      Make("rle4", 4, CompressionRle4, sixteenColours(), {}, Indexed),
  };
}

std::vector<std::uint8_t> fileBytes(const Case &C) {
  const BmpFormat &F = C.Format;
  const bool TopDown = F.Height < 0;
  const std::uint32_t Rows = static_cast<std::uint32_t>(TopDown ? -F.Height : F.Height);
  std::vector<std::uint8_t> Data;
  for (std::uint32_t R = 0; R < Rows; ++R) {
    const std::uint32_t Y = TopDown ? R : Rows - 1 - R;
    if (F.Compression == CompressionRle8 || F.Compression == CompressionRle4) {
      std::vector<std::uint8_t> Indices(static_cast<std::size_t>(F.Width));
      for (std::uint32_t X = 0; X < std::uint32_t(F.Width); ++X)
        Indices[X] = static_cast<std::uint8_t>(C.Value(X, Y));
      appendRleRow(Data, Indices, F.BitCount);
      continue;
    }
    std::vector<std::uint8_t> Row(strideOf(F), 0);
    for (std::uint32_t X = 0; X < std::uint32_t(F.Width); ++X)
      putPixel(Row, F.BitCount, X, C.Value(X, Y));
    Data.insert(Data.end(), Row.begin(), Row.end());
  }
  if (F.Compression == CompressionRle8 || F.Compression == CompressionRle4) {
    Data.push_back(0);
    Data.push_back(1);
  }
  std::vector<std::uint8_t> File = bmpHeaders(F, Data.size());
  File.insert(File.end(), Data.begin(), Data.end());
  return File;
}

// True when the loaded region shows ink exactly where the stored values are
// black, so that every benchmark decodes what it claims to.
bool decodesRight(const Case &C, const std::string &Path) {
  torvel::TBitmap Picture;
  std::string Reason;
  if (!Picture.loadFromFile(Path, Region, Region, Reason))
    return false;
  for (std::uint32_t Y = 0; Y < std::uint32_t(Region); ++Y)
    for (std::uint32_t X = 0; X < std::uint32_t(Region); ++X) {
      const std::uint32_t V = C.Value(X, Y);
      const bool Ink = C.Format.BitCount <= 8 ? C.Format.Table[V] == 0 : V == 0;
      if (Ink != (Picture.pixel(static_cast<std::int32_t>(X),
                                static_cast<std::int32_t>(Y)) == 0))
        return false;
    }
  return true;
}

// Packs every row of the region, as the conversion does.
void packRegion(const torvel::TBitmap &Picture) {
  std::uint32_t Offset = RowOffset;
  for (std::int32_t Y = 0; Y < Region; ++Y) {
    std::string Line = torvel::packRow(Picture, Y, Offset);
    benchmark::DoNotOptimize(Line.data());
    Offset += (Region + 7) / 8;
  }
}

// Loads Path into Picture kept to the region; on failure ends the benchmark.
bool loadRegion(benchmark::State &State, const std::string &Path,
                torvel::TBitmap &Picture) {
  std::string Reason;
  if (Picture.loadFromFile(Path, Region, Region, Reason))
    return true;
  State.SkipWithError(Reason.c_str());
  return false;
}

void convert(benchmark::State &State, const std::string &Path) {
  for (auto _ : State) {
    torvel::TBitmap Picture;
    if (!loadRegion(State, Path, Picture))
      return;
    Picture.setWidth(Region);
    Picture.setHeight(Region);
    packRegion(Picture);
  }
  State.SetItemsProcessed(State.iterations() * Region * Region);
}

void load(benchmark::State &State, const std::string &Path) {
  for (auto _ : State) {
    torvel::TBitmap Picture;
    if (!loadRegion(State, Path, Picture))
      return;
    benchmark::DoNotOptimize(Picture.pixel(0, 0));
  }
  State.SetItemsProcessed(State.iterations() * Region * Region);
}

// Packing alone, from a picture already loaded.
void pack(benchmark::State &State, const std::string &Path) {
  torvel::TBitmap Picture;
  if (!loadRegion(State, Path, Picture))
    return;
  Picture.setWidth(Region);
  Picture.setHeight(Region);
  for (auto _ : State)
    packRegion(Picture);
  State.SetItemsProcessed(State.iterations() * Region * Region);
}

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  const std::filesystem::path Folder =
      std::filesystem::temp_directory_path() /
      ("torvel-micro-" + std::to_string(::getpid()));
  std::filesystem::create_directories(Folder);
  std::vector<std::pair<std::string, std::string>> Files; // name, path
  for (const Case &C : cases()) {
    const std::string Path = (Folder / (C.Name + ".bmp")).string();
    const std::vector<std::uint8_t> Bytes = fileBytes(C);
    std::FILE *Out = std::fopen(Path.c_str(), "wb");
    if (!Out || std::fwrite(Bytes.data(), 1, Bytes.size(), Out) != Bytes.size() ||
        std::fclose(Out) != 0) {
      std::fprintf(stderr, "micro_bench: cannot write %s\n", Path.c_str());
      return 1;
    }
    if (!decodesRight(C, Path)) {
      std::fprintf(stderr, "micro_bench: %s does not decode as written\n",
                   Path.c_str());
      return 1;
    }
    Files.emplace_back(C.Name, Path);
  }
  for (const auto &[Name, Path] : Files)
    benchmark::RegisterBenchmark(("Convert/" + Name).c_str(), convert, Path)
        ->Unit(benchmark::kMicrosecond);
  for (const auto &[Name, Path] : Files)
    benchmark::RegisterBenchmark(("Load/" + Name).c_str(), load, Path)
        ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("Pack/24bit", pack, Files[4].second)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(Folder);
  return 0;
}

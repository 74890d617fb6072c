// The one source that compiles the stb implementations. It is built without
// contraction of floating-point operations (see CMakeLists.txt), so that the
// resampler gives the same bits on every platform.
#include "image/stb.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace torvel {

namespace {

// Each block starts with its size, so that a release can count it back.
constexpr std::size_t HeaderSize = alignof(std::max_align_t);

struct BudgetState {
  bool Active = false;
  bool Exceeded = false;
  std::uint64_t Limit = 0;
  std::uint64_t Held = 0;
};

thread_local BudgetState Budget;

bool take(std::size_t Size) {
  if (!Budget.Active)
    return true;
  if (Size > Budget.Limit - Budget.Held) {
    Budget.Exceeded = true;
    return false;
  }
  Budget.Held += Size;
  return true;
}

void giveBack(std::size_t Size) {
  Budget.Held -= Size < Budget.Held ? Size : Budget.Held;
}

std::size_t sizeOf(void *Block) {
  std::size_t Size;
  std::memcpy(&Size, static_cast<unsigned char *>(Block) - HeaderSize,
              sizeof Size);
  return Size;
}

} // namespace

void *stbAllocate(std::size_t Size) {
  if (Size > SIZE_MAX - HeaderSize || !take(Size))
    return nullptr;
  // Zeroed: stb_image 2.27 reads Huffman tables that a hostile JPEG never
  // defined, which must not be left-over bytes.
  auto *Raw = static_cast<unsigned char *>(std::calloc(1, HeaderSize + Size));
  if (!Raw) {
    giveBack(Size);
    return nullptr;
  }
  std::memcpy(Raw, &Size, sizeof Size);
  return Raw + HeaderSize;
}

void *stbReallocate(void *Block, std::size_t Size) {
  if (!Block)
    return stbAllocate(Size);
  const std::size_t Old = sizeOf(Block);
  if (Size > SIZE_MAX - HeaderSize)
    return nullptr;
  if (Size > Old && !take(Size - Old))
    return nullptr;
  auto *Raw = static_cast<unsigned char *>(std::realloc(
      static_cast<unsigned char *>(Block) - HeaderSize, HeaderSize + Size));
  if (!Raw) {
    if (Size > Old)
      giveBack(Size - Old);
    return nullptr;
  }
  if (Size < Old)
    giveBack(Old - Size);
  else
    std::memset(Raw + HeaderSize + Old, 0, Size - Old);
  std::memcpy(Raw, &Size, sizeof Size);
  return Raw + HeaderSize;
}

void stbRelease(void *Block) {
  if (!Block)
    return;
  giveBack(sizeOf(Block));
  std::free(static_cast<unsigned char *>(Block) - HeaderSize);
}

StbBudget::StbBudget(std::uint64_t Bytes) { Budget = {true, false, Bytes, 0}; }

StbBudget::~StbBudget() { Budget = BudgetState(); }

bool StbBudget::exceeded() const { return Budget.Exceeded; }

} // namespace torvel

#define STBI_MALLOC(Size) torvel::stbAllocate(Size)
#define STBI_REALLOC(Block, Size) torvel::stbReallocate(Block, Size)
#define STBI_FREE(Block) torvel::stbRelease(Block)
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_ONLY_PNM
#define STBI_MAX_DIMENSIONS 16384
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define STBIR_MALLOC(Size, Context) ((void)(Context), torvel::stbAllocate(Size))
#define STBIR_FREE(Block, Context) ((void)(Context), torvel::stbRelease(Block))
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>

#define STBIW_MALLOC(Size) torvel::stbAllocate(Size)
#define STBIW_REALLOC(Block, Size) torvel::stbReallocate(Block, Size)
#define STBIW_FREE(Block) torvel::stbRelease(Block)
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

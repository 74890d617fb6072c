/* The floor for the benchmarks: the least a conversion must do. It opens the
 * inputs, reads the block map file, the picture's table entry, the BMP's
 * headers and colour table and the bytes of the region's rows (the whole
 * stream of a run-length file), and writes an output as long as the patch.
 * It decodes and checks nothing.
 *
 * Usage: floor BLOCKMAP.INI PICTURE.BMP FLASH.BIN INDEX OUT.VKP */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static unsigned char Buffer[64 * 1024];

static uint32_t le32(const unsigned char *B) {
  return (uint32_t)B[0] | (uint32_t)B[1] << 8 | (uint32_t)B[2] << 16 |
         (uint32_t)B[3] << 24;
}

static int openOrDie(const char *Name) {
  int Fd = open(Name, O_RDONLY);
  if (Fd < 0) {
    perror(Name);
    exit(1);
  }
  return Fd;
}

int main(int argc, char **argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: floor BLOCKMAP.INI PICTURE.BMP FLASH.BIN INDEX OUT.VKP\n");
    return 2;
  }
  const long Index = strtol(argv[4], NULL, 10);

  int Fd = openOrDie(argv[1]);
  while (read(Fd, Buffer, sizeof Buffer) > 0) {
  }
  close(Fd);

  unsigned char Entry[8] = {0};
  Fd = openOrDie(argv[3]);
  if (pread(Fd, Entry, 8, 0xDDF30 + 8 * Index) != 8)
    return 1;
  close(Fd);
  const uint32_t Width = Entry[0], Height = Entry[1];

  unsigned char Head[54];
  Fd = openOrDie(argv[2]);
  if (pread(Fd, Head, sizeof Head, 0) != (ssize_t)sizeof Head)
    return 1;
  const uint32_t DataStart = le32(Head + 10);
  const uint32_t HeaderEnd = 14 + le32(Head + 14);
  const int32_t BmpWidth = (int32_t)le32(Head + 18);
  const int32_t BmpHeight = (int32_t)le32(Head + 22);
  const uint32_t BitCount = (uint32_t)Head[28] | (uint32_t)Head[29] << 8;
  const uint32_t Compression = le32(Head + 30);
  /* Masks and colour table. */
  if (DataStart > HeaderEnd && DataStart - HeaderEnd <= sizeof Buffer &&
      pread(Fd, Buffer, DataStart - HeaderEnd, HeaderEnd) < 0)
    return 1;
  if (Compression == 1 || Compression == 2) {
    if (lseek(Fd, DataStart, SEEK_SET) < 0)
      return 1;
    while (read(Fd, Buffer, sizeof Buffer) > 0) {
    }
  } else {
    const uint64_t Rows = (uint64_t)(BmpHeight < 0 ? -(int64_t)BmpHeight : BmpHeight);
    const uint64_t Stride = ((uint64_t)BmpWidth * BitCount + 31) / 32 * 4;
    const uint64_t KeptWidth = (uint64_t)BmpWidth < Width ? (uint64_t)BmpWidth : Width;
    const uint64_t KeptRows = Rows < Height ? Rows : Height;
    const size_t RowBytes = (size_t)((KeptWidth * BitCount + 7) / 8);
    for (uint64_t Y = 0; Y < KeptRows; ++Y) {
      const uint64_t Stored = BmpHeight < 0 ? Y : Rows - 1 - Y;
      if (pread(Fd, Buffer, RowBytes, (off_t)(DataStart + Stored * Stride)) < 0)
        return 1;
    }
  }
  close(Fd);

  /* "; Picture #N" and one "OFFSET: BYTES ;DRAWING" line a row, CR LF each. */
  char Header[32];
  const int HeaderLength = snprintf(Header, sizeof Header, "; Picture #%ld\r\n", Index);
  const size_t LineLength = 8 + 2 + 2 * ((Width + 7) / 8) + 2 + 2 * Width + 2;
  const size_t Total = (size_t)HeaderLength + Height * LineLength;
  char *Text = malloc(Total);
  if (!Text)
    return 1;
  memcpy(Text, Header, (size_t)HeaderLength);
  memset(Text + HeaderLength, '.', Total - (size_t)HeaderLength);
  Fd = open(argv[5], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (Fd < 0 || write(Fd, Text, Total) != (ssize_t)Total || close(Fd) != 0) {
    perror(argv[5]);
    return 1;
  }
  free(Text);
  return 0;
}

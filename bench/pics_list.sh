#!/usr/bin/env bash
# Times `torvel-pics list` on large dumps: a 512 MiB sparse dump whose table
# holds 4,000 pictures and ends with an erased entry, and a 256 MiB dump with
# no end marker at all, whose table runs to the end of the file.
# Usage: bench/pics_list.sh   (needs hyperfine and /usr/bin/time)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null && cmake --build --preset release --target torvel-pics >/dev/null
work=build/bench/pics
mkdir -p "$work"
printf '[Block1]\nAddr=$400000\nFFOffset=$1000000\nLength=$10000000\n' >"$work/big.ini"
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
with open(f"{work}/table.bin", "wb") as f:
    f.truncate(512 << 20)
    f.seek(0xDDF30)
    for i in range(4000):
        a = 0x400000 + i * 0x1000
        f.write(bytes([1 + i % 132, 1 + i % 176, 0, 0, a & 0xFF, a >> 8 & 0x3F, a >> 14 & 0xFF, a >> 22]))
    f.write(b"\xff" * 8)
with open(f"{work}/endless.bin", "wb") as f:
    chunk = bytes(range(1, 9)) * (1 << 17)
    for _ in range(256):
        f.write(chunk)
PY
pics=build/release/torvel-pics
for dump in table endless; do
  echo "== list $dump.bin ($(($(stat -c %s "$work/$dump.bin") >> 20)) MiB), lines: $("$pics" -C "$work/big.ini" list "$work/$dump.bin" | wc -l)"
  hyperfine -N --warmup 1 --runs 5 "$pics -C $work/big.ini list $work/$dump.bin" --output=null 2>&1 |
    grep -E 'Time|Range'
  /usr/bin/time -f 'peak memory: %M KiB' "$pics" -C "$work/big.ini" list "$work/$dump.bin" >/dev/null
done

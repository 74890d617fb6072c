#!/usr/bin/env bash
# Times `torvel-pics check` and `apply` of a patch of 1,024,000 records on a
# 512 MiB dump: 8,000 pictures of 128 x 128 pixels, 64 KiB apart, and a
# verified patch that rewrites every row of every picture (old and new data,
# 16 bytes each, and the row's drawing). Floors: reading the patch text,
# reading the bytes the records touch, and copying the dump.
# Usage: bench/patch_check.sh   (needs hyperfine and /usr/bin/time)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null && cmake --build --preset release --target torvel-pics >/dev/null
work=build/bench/patch
mkdir -p "$work"
printf '[Block1]\nAddr=$400000\nFFOffset=$0\nLength=$20000000\n' >"$work/big.ini"
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
pictures, rows, row_bytes, step = 8000, 128, 16, 0xFF00
with open(f"{work}/dump.bin", "wb") as f:
    f.truncate(512 << 20)
    f.seek(0xDDF30)
    for i in range(pictures):
        a = 0x400000 + 0x100000 + i * step
        f.write(bytes([128, rows, 0, 0, a & 0xFF, a >> 8 & 0x3F, a >> 14 & 0xFF, a >> 22]))
    f.write(b"\xff" * 8)
    # Each picture's old rows: a frame, so that old data are not all zero.
    for i in range(pictures):
        f.seek(0x100000 + i * step)
        f.write(b"\xff" * row_bytes + (b"\x80" + b"\x00" * 14 + b"\x01") * (rows - 2) + b"\xff" * row_bytes)
old_rows = [b"\xff" * row_bytes] + [b"\x80" + b"\x00" * 14 + b"\x01"] * (rows - 2) + [b"\xff" * row_bytes]
with open(f"{work}/patch.vkp", "w", newline="") as f:
    f.write("; Picture #0\r\n; a benchmark patch: every row of 8000 pictures\r\n")
    for i in range(pictures):
        base = 0x100000 + i * step
        lines = []
        for y in range(rows):
            new = bytes((y * 16 + x + i) & 0xFF for x in range(row_bytes))
            drawing = "".join("XX" if new[x // 8] & (0x80 >> x % 8) else ".." for x in range(128))
            lines.append(f"{base + y * row_bytes:08X}: {old_rows[y].hex().upper()} {new.hex().upper()} ;{drawing}\r\n")
        f.write("".join(lines))
PY
pics=build/release/torvel-pics
cfg="-C $work/big.ini"
echo "== patch: $(wc -l <"$work/patch.vkp") lines, $(($(stat -c %s "$work/patch.vkp") >> 20)) MiB; dump $(($(stat -c %s "$work/dump.bin") >> 20)) MiB"
"$pics" $cfg check "$work/dump.bin" "$work/patch.vkp" | tail -1
hyperfine -N --warmup 1 --runs 5 \
  "$pics $cfg check $work/dump.bin $work/patch.vkp" \
  "$pics $cfg apply $work/dump.bin $work/patch.vkp -o $work/out.bin" \
  "cat $work/patch.vkp" \
  "cp $work/dump.bin $work/copy.bin" \
  --output=null 2>&1 | grep -E 'Benchmark|Time|Range'
echo "== the bytes the records touch, read as check reads them (8000 reads of 2 KiB)"
python3 - "$work" <<'PY'
import os, sys, time
work = sys.argv[1]
fd = os.open(f"{work}/dump.bin", os.O_RDONLY)
best = None
for _ in range(5):
    t = time.perf_counter()
    for i in range(8000):
        os.pread(fd, 2048, 0x100000 + i * 0xFF00)
    dt = time.perf_counter() - t
    best = dt if best is None else min(best, dt)
print(f"  fastest of 5: {best * 1000:.1f} ms (in Python)")
PY
for cmd in "check $work/dump.bin $work/patch.vkp" "apply $work/dump.bin $work/patch.vkp -o $work/out.bin"; do
  /usr/bin/time -f "peak memory of ${cmd%% *}: %M KiB" "$pics" $cfg $cmd >/dev/null
done
"$pics" $cfg apply "$work/out.bin" "$work/patch.vkp" --undo -o "$work/back.bin" >/dev/null 2>&1
cmp "$work/back.bin" "$work/dump.bin" && echo "apply, then apply --undo: the dump again"
rm -f "$work/copy.bin" "$work/back.bin"

#!/usr/bin/env bash
# Builds the fuzz targets (preset `fuzz`) and runs each for SECONDS, seeded
# from tests/data and examples. Fails on any crash, leak, timeout (1 s per
# input) or memory use above 256 MiB. Corpora, logs and findings stay in
# fuzz-out/<target>/.
# Usage: fuzz/run.sh SECONDS [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run.sh SECONDS [fuzz_apply|fuzz_bmp|fuzz_import|fuzz_ini|fuzz_int_text|fuzz_pics|fuzz_run|fuzz_vkp...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_apply fuzz_bmp fuzz_import fuzz_ini fuzz_int_text fuzz_pics
  fuzz_run fuzz_vkp)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null

out=$root/fuzz-out
sep=$'\n##torvel##\n'
ini=$(cat "$root/examples/MARLOW.INI")
bmps=("$root"/tests/data/bmpsuite/[gqb]/*.bmp "$root"/examples/*.bmp)

# Picture table entry: width, height, 2 skipped bytes, address and page words.
entry() { printf "\\x$1\\x$2\\x00\\x00\\x$3\\x$4\\x$5\\x$6"; }
# Four pictures; picture 3 lies at 0x412340, which the example maps.
table() {
  entry 00 00 00 00 00 01; entry 10 10 00 10 00 01; entry 08 08 00 20 00 01
  entry 20 10 40 23 04 01
}

seed_bmp() {
  for f in "${bmps[@]}"; do
    # The last two bytes are the size to cut or extend to.
    { cat "$f"; printf '\x20\x10'; } >"$1/$(basename "$f")"
    { cat "$f"; printf '\xff\xff'; } >"$1/big-$(basename "$f")"
  done
  { printf '\x08\x04'; } >"$1/empty"
}

seed_import() {
  # The last three bytes: the picture's width and height less one, and the
  # options (fit, dither, invert, background, threshold).
  local i=0 f
  for f in "$root"/tests/data/images/quad* "${bmps[@]}"; do
    { cat "$f"; printf "$(printf '\\x%02x' $((i * 37 % 256)) $((i * 53 % 256)) $((i * 11 % 256)))"; } \
      >"$1/$((i++))-$(basename "$f")"
  done
}

seed_ini() {
  cp "$root/examples/MARLOW.INI" "$1/example.ini"
  printf '[Block1]\r\nAddr=$A0000000\r\nFFOffset=0x10\r\nLength=100000\r\n[Block2]\r\nAddr=-256\r\nLength=512\r\nFFOffset=7\r\n' >"$1/two.ini"
  printf '[Block2]\nFFOffset=20\n[Block1]\nLength=10\n[Block4]\nAddr=4\n\x00\x10\x00\x00\x00\x00\x00\xa0\xff\xff\xff\x7f\x00\x01\x00\x00' >"$1/gap.ini"
  local f
  for f in $(find "$root/tests/data" -iname '*.ini' 2>/dev/null); do
    cp "$f" "$1/data-$(basename "$f")"
  done
}

seed_int_text() {
  local i=0 t
  for t in 16 +16 0x10 0X10 '$10' x10 X10 '$0010' 0016 '  16' -16 \
    -2147483648 2147483647 '$FFFFFFFF' A0000000 -0x10 '16 ' 1e3 0x '$' -; do
    printf '%s' "$t" >"$1/$((i++))"
  done
}

seed_run() {
  local words=("-Cmap.ini"$'\n'"a.bmp"$'\n'"full.bin"$'\n'"3"
    "-Cmap.ini"$'\n'"-Eerr.txt"$'\n'"a.bmp"$'\n'"full.bin"$'\n'"0"$'\n'"out.vkp"
    "/Cmap.ini"$'\n'"a.bmp"$'\n'"full.bin"$'\n'"\$1"$'\n'"a.bmp")
  local i=0 f w
  for f in "${bmps[@]}"; do
    w=${words[$((i % ${#words[@]}))]}
    { printf '%s%s' "$w" "$sep"; cat "$f"; printf '%s%s%s' "$sep" "$ini" "$sep"
      table; } >"$1/run-$((i++))"
  done
  printf '%s%s%s%s%s' "${words[0]}" "$sep" "$sep" "$ini" "$sep" >"$1/empty-flash"
}

seed_pics() {
  local words=("list"$'\n'"full.bin" "show"$'\n'"full.bin"$'\n'"3"
    "extract"$'\n'"full.bin"$'\n'"3" "restore"$'\n'"full.bin"$'\n'"2"$'\n'"r.vkp"
    "list"$'\n'"full.bin"$'\n'"--first=1"$'\n'"-n"$'\n'"9") i=0 w
  # The table, then the pictures where a block maps them right after it.
  local map=$'[Block1]\nAddr=$00400000\nFFOffset=$000DDF50\nLength=$00300000\n'
  for w in "${words[@]}"; do
    { printf '%s%s%s%s' "$w" "$sep" "$map" "$sep"; table; cat "$root/examples/logo.bmp"; } \
      >"$1/pics-$((i++))"
  done
}

# Patches as a flasher may meet them: each rule of the reader, our verified
# patch, correctors, pragmas and comments of every kind.
vkp_texts=(
  $'; Picture #4\r\n; 40 x 24 pixels at offset 00113000, 120 bytes\r\n00113000: FFFFFFFFFF 00FF00FF00 ;XX..\r\n00113005: 8000000001 8000000001 ;XX\r\n'
  $'#pragma enable old_equal_ff\n0x1000: AA,BB\n#pragma disable undo\n+10\n1000: 00 11 // c\n-0x20\n2000:22 /* a\nb */\n+0\n'
  $'/* head */ 1000: 00,11,2233 44,55,6677 # c\n#pragma disable warn_no_old_on_apply\n\tFFFFFFFF: 01\n'
  $'1000: "ab"\n' $'1000: 0x12\n' $'1000: XX ??\n' $'1000: AA \\\n' $'/* open\n' $'-1\n0: AA\n'
  $'#pragma enable warn_if_new_exist_on_apply\r\n#pragma disable warn_if_old_exist_on_undo\r\n10: 01 02 03\r\n')

seed_vkp() {
  local i=0 t
  for t in "${vkp_texts[@]}"; do
    printf '%s' "$t" >"$1/vkp-$((i++))"
  done
  head -c 512 /dev/urandom >"$1/random"
}

seed_apply() {
  local words=("check"$'\n'"full.bin"$'\n'"a.vkp"$'\n'"b.vkp"
    "apply"$'\n'"full.bin"$'\n'"a.vkp"$'\n'"-o"$'\n'"out.bin"
    "apply"$'\n'"full.bin"$'\n'"a.vkp"$'\n'"b.vkp"$'\n'"--output=out.bin"$'\n'"--force"
    "apply"$'\n'"full.bin"$'\n'"b.vkp"$'\n'"a.vkp"$'\n'"-oout.bin"$'\n'"--undo"
    "apply"$'\n'"full.bin"$'\n'"a.vkp"$'\n'"-o"$'\n'"b.vkp") i=0 w
  # The table, then picture 3's rows where the block maps them right after it.
  local map=$'[Block1]\nAddr=$00400000\nFFOffset=$000DDF50\nLength=$00300000\n'
  local a=$'DDF50: 00 FF\nDDF51: 0000 1111 ;in picture 1\n#pragma enable old_equal_ff\n+DDF30\n8: 2222\n'
  local b=$'000DDF52: 1100 2233\n-1\nDDF31: 10 ;the table\n#pragma disable undo\n+0\nDDF60: 00 01\n'
  for w in "${words[@]}"; do
    { printf '%s%s%s%s' "$w" "$sep" "$map" "$sep"; table; printf '%s%s%s%s' "$sep" "$a" "$sep" "$b"; } \
      >"$1/apply-$((i++))"
  done
}

declare -A max_len=([fuzz_apply]=8192 [fuzz_bmp]=34000 [fuzz_import]=34000 [fuzz_ini]=4096 [fuzz_int_text]=64
  [fuzz_pics]=8192 [fuzz_run]=36000 [fuzz_vkp]=8192)
declare -A dict=([fuzz_apply]=apply.dict [fuzz_bmp]=bmp.dict [fuzz_import]=import.dict
  [fuzz_ini]=ini.dict
  [fuzz_pics]=pics.dict [fuzz_run]=run.dict [fuzz_vkp]=vkp.dict)

# Two targets at a time, one a core (FUZZ_JOBS to change it); each works in
# a scratch folder of its own.
jobs=${FUZZ_JOBS:-2}

fuzz_one() {
  local t=$1 dir=$out/$1 rc=0
  ASAN_OPTIONS=quarantine_size_mb=16:detect_leaks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$root/build/fuzz/fuzz/$t" "${args[@]}" "$dir/corpus" "$dir/seeds" \
    >"$dir/log" 2>&1 || rc=$?
  echo "$rc" >"$dir/rc"
}

for t in "${targets[@]}"; do
  [ -n "${max_len[$t]:-}" ] || { echo "run.sh: unknown target '$t'" >&2; exit 2; }
  dir=$out/$t
  rm -rf "$dir/seeds" "$dir/rc"
  mkdir -p "$dir/corpus" "$dir/seeds" "$dir/findings"
  "seed_${t#fuzz_}" "$dir/seeds"
  args=(-max_total_time="$seconds" -timeout=1 -rss_limit_mb=256
    -max_len="${max_len[$t]}" -detect_leaks=1 -print_final_stats=1
    -artifact_prefix="$dir/findings/")
  [ -z "${dict[$t]:-}" ] || args+=(-dict="$root/fuzz/${dict[$t]}")
  echo "== $t: ${seconds}s"
  # A small quarantine keeps ASan's own memory well under the 256 MiB limit.
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$t" &
done
wait

status=0
summary=()
for t in "${targets[@]}"; do
  dir=$out/$t
  rc=$(cat "$dir/rc" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log")
  if [ "$rc" -eq 0 ]; then
    result=ok
  else
    result="FAILED (exit $rc, see $dir/log and $dir/findings)"
    grep -E '^(==[0-9]+== ?ERROR|SUMMARY|.*check failed)' "$dir/log" | head -5 || true
    status=1
  fi
  summary+=("$t: ${runs:-?} runs, ${rate:-?} exec/s, corpus $(ls "$dir/corpus" | wc -l) files: $result")
done
printf '%s\n' "${summary[@]}"
exit $status

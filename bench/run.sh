#!/usr/bin/env bash
# Builds the bench preset, writes the inputs and measures torvel, the Pillow
# script and the floor program on each BMP: whole-process wall time
# (hyperfine) and peak resident memory (/usr/bin/time). Prints a markdown
# table and the target assessment, then the micro-benchmarks.
#
# Usage: bench/run.sh [--big] [--no-micro]
#   --big       also the 1 GiB inputs (about 1 GiB of disk for the run-length
#               file; the uncompressed ones are sparse)
#   --no-micro  skip the Google Benchmark micro-benchmarks
# Environment:
#   PILLOW_PYTHON     the Python that has Pillow (default /usr/bin/python3)
#   PILLOW_MEM_LIMIT  address-space cap of the Pillow script (default 6G), so
#                     that it cannot exhaust a shared machine on big inputs
# Everything lands in build/bench/: inputs/, results/ (report.md, raw data).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
big=()
micro=1
for arg in "$@"; do
  case "$arg" in
    --big) big=(--big) ;;
    --no-micro) micro=0 ;;
    *) echo "usage: bench/run.sh [--big] [--no-micro]" >&2; exit 2 ;;
  esac
done

for tool in hyperfine /usr/bin/time prlimit numfmt; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/deps.sh bench)" >&2; exit 1; }
done

build=$root/build/bench
inputs=$build/inputs
results=$build/results

cd "$root"
echo "Building the bench preset..." >&2
cmake --preset bench >/dev/null
cmake --build --preset bench -j 2 >/dev/null

rm -rf "$inputs" "$results"
mkdir -p "$inputs" "$results"
echo "Writing the inputs..." >&2
"$build/bench/gen_inputs" "${big[@]}" "$inputs"

pillow_python=${PILLOW_PYTHON:-/usr/bin/python3}
have_pillow=1
if ! "$pillow_python" -c 'import PIL' 2>/dev/null; then
  have_pillow=0
  echo "run.sh: no Pillow in $pillow_python; the Pillow column stays empty" >&2
fi
pillow_limit=$(numfmt --from=iec "${PILLOW_MEM_LIMIT:-6G}")

ini=$inputs/bench.ini
flash=$inputs/flash.bin
measurements=$results/measurements.tsv
printf 'name\ttool\tstatus\tmedian_s\tmin_s\tstddev_s\tcpu_s\truns\trss_kb\n' >"$measurements"

# measure TOOL NAME COMMAND...: one probe run (checks the exit status, gives a
# first time and peak RSS), then hyperfine unless the probe took over 20 s,
# then, for commands under 5 s, two more runs for the peak RSS (the median of
# three).
measure() {
  local tool=$1 name=$2
  shift 2
  local base=$results/$name.$tool
  if ! /usr/bin/time -f '%e %M %U %S' -o "$base.time" "$@" >/dev/null 2>"$base.err"; then
    printf '%s\t%s\tfailed\t\t\t\t\t\t\n' "$name" "$tool" >>"$measurements"
    echo "  $tool failed: $(tail -n 1 "$base.err")" >&2
    return
  fi
  local wall rss user sys
  read -r wall rss user sys <"$base.time"
  local -a rss_runs=("$rss")
  local median=$wall fastest=$wall stddev="" runs=1 cpu
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
  if awk -v w="$wall" 'BEGIN { exit !(w <= 20) }'; then
    local -a pace=(--warmup 5 --min-runs 20)
    local slow=0
    if awk -v w="$wall" 'BEGIN { exit !(w > 5) }'; then
      pace=(--runs 3) # the probe warmed the cache
      slow=1
    elif awk -v w="$wall" 'BEGIN { exit !(w > 0.5) }'; then
      pace=(--warmup 1 --min-runs 3 --max-runs 10)
    fi
    local command
    command=$(printf '%q ' "$@")
    hyperfine -N --style none "${pace[@]}" --export-json "$base.json" "$command" >/dev/null 2>>"$base.err"
    read -r median fastest stddev cpu runs < <(python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(r["median"], r["min"], r["stddev"] or 0, r["user"] + r["system"], len(r["times"]))' "$base.json")
    if [ "$slow" = 0 ]; then
      for _ in 1 2; do
        /usr/bin/time -f '%M' -o "$base.time" "$@" >/dev/null 2>>"$base.err"
        rss_runs+=("$(cat "$base.time")")
      done
    fi
  fi
  rss=$(printf '%s\n' "${rss_runs[@]}" | sort -n | sed -n "$(((${#rss_runs[@]} + 1) / 2))p")
  printf '%s\t%s\tok\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$tool" "$median" "$fastest" "$stddev" "$cpu" "$runs" "$rss" >>"$measurements"
}

checks=$results/checks.tsv
printf 'name\tpillow_output\tink\tfloor_size\n' >"$checks"
while IFS=$'\t' read -r file format size bytes compressed; do
  [ "$file" = name ] && continue
  name=${file%.bmp}
  bmp=$inputs/$file
  echo "Measuring $name ($format, $bytes bytes)..." >&2
  measure torvel "$name" "$build/torvel" "-C$ini" "$bmp" "$flash" 0 "$results/$name.torvel.vkp"
  measure floor "$name" "$build/bench/floor" "$ini" "$bmp" "$flash" 0 "$results/$name.floor.vkp"
  if [ "$have_pillow" = 1 ]; then
    measure pillow "$name" prlimit --as="$pillow_limit" "$pillow_python" \
      "$root/bench/pillow_convert.py" "$ini" "$bmp" "$flash" 0 "$results/$name.pillow.vkp"
  fi

  # Sanity: Pillow's patch equals torvel's, the region holds ink and paper,
  # and the floor wrote as many bytes.
  out=$results/$name.torvel.vkp
  same=n/a
  if [ -s "$results/$name.pillow.vkp" ] && [ -s "$out" ]; then
    if cmp -s "$out" "$results/$name.pillow.vkp"; then same=same; else same=differs; fi
  fi
  ink=no
  if grep -q 'XX' "$out" 2>/dev/null && grep -q '\.\.' "$out"; then ink=yes; fi
  floor_size=differs
  if [ -s "$out" ] && [ "$(stat -c %s "$out")" = "$(stat -c %s "$results/$name.floor.vkp" 2>/dev/null)" ]; then
    floor_size=same
  fi
  printf '%s\t%s\t%s\t%s\n' "$name" "$same" "$ink" "$floor_size" >>"$checks"
done <"$inputs/inputs.tsv"

if [ "$micro" = 1 ]; then
  echo "Running the micro-benchmarks..." >&2
  "$build/bench/micro_bench" --benchmark_repetitions=5 --benchmark_min_time=0.1 \
    --benchmark_out="$results/micro.json" --benchmark_out_format=json >/dev/null
fi

python3 "$root/bench/summarize.py" "$inputs/inputs.tsv" "$results" | tee "$results/report.md"

#!/usr/bin/env bash
# Times bench/sed-retarget.sh on the generated projects (best of 5 runs, the
# start of sed included), checks that it gives the same bytes as the
# conversion, and prints its time against that of the conversion.
# Usage: bench/compare-sed.sh   (after cmake --build --preset bench)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$root/build/bench/bench_convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bench" --write-projects="$work"
"$bench" --benchmark_filter='^convert/' --benchmark_format=csv 2>/dev/null > "$work/convert.csv"

printf '%-10s %14s %14s %10s\n' bytes convert_ms sed_ms sed/convert
for bytes in $(ls "$work" | sed -n 's/^project-\([0-9]*\)\.vcxproj$/\1/p' | sort -n); do
  best=
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$root/bench/sed-retarget.sh" "$work/project-$bytes.vcxproj" "$work/sed-out"
    took=$(( $(date +%s%N) - start ))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
  done
  if ! cmp -s "$work/sed-out" "$work/project-$bytes.2019.vcxproj"; then
    echo "sed's result differs from the conversion for $bytes bytes" >&2
    exit 1
  fi
  convert_ns=$(awk -F, -v name="\"convert/$bytes\"" '$1 == name { print $3 }' "$work/convert.csv")
  awk -v b="$bytes" -v c="$convert_ns" -v s="$best" \
    'BEGIN { printf "%-10s %14.3f %14.3f %10.1f\n", b, c / 1e6, s / 1e6, s / c }'
done

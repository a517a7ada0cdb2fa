#!/usr/bin/env bash
# Times the classic programs of bench/programs on this system (compiled by
# the bootstrap compiler, loaded through the quick-load reader after the
# boot file, run on the emulator) and on swipl -O, in the same run, and
# prints the ratio of the user CPU times per program (this system / swipl)
# and their geometric mean. With --consult the programs are loaded by
# consult/1 on the system instead of compiled by the bootstrap compiler.
# Usage: bench/run.sh [--consult] [BUILD_DIR]     (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
consult=no
if [ "${1:-}" = --consult ]; then
  consult=yes
  shift
fi
build="${1:-$root/build}"
work="$build/bench-run"
mkdir -p "$work"
printf '%-10s %10s %10s %8s\n' program lorvika swipl ratio
ratios=()
for src in "$root"/bench/programs/*.pl; do
  name=$(basename "$src" .pl)
  if [ "$consult" = yes ]; then
    ours=$("$build/bench/ql_bench" "$build/boot/lvds.ql" --consult "$src")
  else
    "$root/tools/lvqlc" "$build/boot" "$src" "$work/$name.ql"
    ours=$("$build/bench/ql_bench" "$build/boot/lvds.ql" "$work/$name.ql")
  fi
  theirs=$(swipl --traditional -O -q "$root/bench/swipl_bench.pl" -- "$src")
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { if (b <= 0) b = 0.001; printf "%.2f", a / b }')
  ratios+=("$ratio")
  printf '%-10s %10s %10s %8s\n' "$name" "$ours" "$theirs" "$ratio"
done
printf '%s\n' "${ratios[@]}" | awk '{ s += log($1); n++ } END { printf "geometric mean of the ratios: %.2f\n", exp(s / n) }'

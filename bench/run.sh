#!/usr/bin/env bash
# Times the programs of bench/programs on this system, on swipl -O and, when
# gplc is installed, on GNU Prolog's native code, and prints the user CPU
# seconds of each (best of N runs), the ratios this system / swipl and this
# system / gplc, and the geometric means of the ratios. Loading is not
# timed. Each program checks its own answer: a run that fails or raises is
# shown as "-" and left out of the means. Never a test, never asserted.
#
# Usage: bench/run.sh [--consult] [--runs N] [BUILD_DIR [PROGRAM...]]
#   BUILD_DIR  a build of this system (default: build); the programs are
#              compiled by the bootstrap compiler of the source tree that
#              build was made from, and run through the quick-load reader
#              after the boot file (build/bench/ql_bench)
#   --consult  load the programs by consult/1 on the system instead
#   --runs N   runs per program and system, the best is kept (default 3)
#   PROGRAM    names of programs to run (default: all), e.g. nrev garbage
# GNU Prolog (Debian package gprolog) is optional; without it the gplc
# column is left out.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
consult=no
runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --consult) consult=yes; shift ;;
    --runs)
      runs="${2:-}"
      shift 2 || { echo "usage: $0 [--consult] [--runs N] [BUILD_DIR [PROGRAM...]]" >&2; exit 2; }
      ;;
    -*) echo "usage: $0 [--consult] [--runs N] [BUILD_DIR [PROGRAM...]]" >&2; exit 2 ;;
    *) break ;;
  esac
done
case "$runs" in
  ''|*[!0-9]*|0) echo "$0: --runs needs a positive number" >&2; exit 2 ;;
esac
build="$(cd "${1:-$root/build}" && pwd)"
[ $# -gt 0 ] && shift
# The compiler must match the build's runtime: take the source tree the
# build was configured from.
src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
[ -n "$src" ] && [ -x "$src/tools/lvqlc" ] || src="$root"
work="$build/bench-run"
mkdir -p "$work"
# Programs that make files make them here, not where the runner was started.
cd "$work"
gplc_ok=no
command -v gplc >/dev/null 2>&1 && gplc_ok=yes

if [ $# -gt 0 ]; then
  programs=()
  for name in "$@"; do programs+=("$root/bench/programs/$name.pl"); done
else
  programs=("$root"/bench/programs/*.pl)
fi
for file in "${programs[@]}"; do
  [ -f "$file" ] || { echo "$0: no program $file" >&2; exit 2; }
done

# best CMD...: the least of $runs timings printed by CMD, or "-" if a run
# fails (its messages go to $work/NAME.SYSTEM.err).
best() {
  local err=$1 b=- t i
  shift
  for ((i = 0; i < runs; i++)); do
    if ! t=$("$@" 2>>"$err") || [ -z "$t" ]; then
      echo -
      return
    fi
    b=$(awk -v a="$b" -v t="$t" 'BEGIN { if (a == "-" || t + 0 < a + 0) print t; else print a }')
  done
  echo "$b"
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (a == "-" || b == "-") { print "-"; exit }
    if (b <= 0) b = 0.001
    printf "%.2f", a / b }'
}

# GNU Prolog has no collector of the global stack and a fixed atom table:
# its stacks and table are made large enough for every program here.
gplc_options=(--no-top-level --global-size 1048576 --local-size 524288 --trail-size 262144 --max-atom 2097152)

if [ "$gplc_ok" = yes ]; then
  printf '%-11s %9s %9s %9s %10s %10s\n' program lorvika swipl gplc ours/swipl ours/gplc
else
  printf '%-11s %9s %9s %10s\n' program lorvika swipl ours/swipl
fi
swipl_ratios=()
gplc_ratios=()
failed=no
for file in "${programs[@]}"; do
  name=$(basename "$file" .pl)
  rm -f "$work/$name".*.err
  if [ "$consult" = yes ]; then
    ours=$(best "$work/$name.lorvika.err" "$build/bench/ql_bench" "$build/boot/lvds.ql" --consult "$file")
  elif "$src/tools/lvqlc" "$build/boot" "$file" "$work/$name.ql" 2>"$work/$name.lorvika.err"; then
    ours=$(best "$work/$name.lorvika.err" "$build/bench/ql_bench" "$build/boot/lvds.ql" "$work/$name.ql")
  else
    ours=-
  fi
  theirs=$(best "$work/$name.swipl.err" swipl --traditional -O -q "$root/bench/swipl_bench.pl" -- "$file")
  case "$ours $theirs" in *-*) failed=yes ;; esac
  r=$(ratio "$ours" "$theirs")
  [ "$r" != - ] && swipl_ratios+=("$r")
  if [ "$gplc_ok" = yes ]; then
    if gplc "${gplc_options[@]}" -o "$work/$name.gplc" "$root/bench/gprolog_bench.pl" "$file" \
        >"$work/$name.gplc.err" 2>&1; then
      native=$(best "$work/$name.gplc.err" "$work/$name.gplc")
    else
      native=-
    fi
    [ "$native" = - ] && failed=yes
    g=$(ratio "$ours" "$native")
    [ "$g" != - ] && gplc_ratios+=("$g")
    printf '%-11s %9s %9s %9s %10s %10s\n' "$name" "$ours" "$theirs" "$native" "$r" "$g"
  else
    printf '%-11s %9s %9s %10s\n' "$name" "$ours" "$theirs" "$r"
  fi
done

# mean LABEL RATIO...: the geometric mean and the largest of the ratios.
mean() {
  local label=$1
  shift
  if [ $# -eq 0 ]; then
    echo "$label: no ratios"
    return
  fi
  printf '%s\n' "$@" | awk -v l="$label" '
    { if ($1 <= 0) $1 = 0.01; s += log($1); n++; if ($1 > m) m = $1 }
    END { printf "%s: geometric mean %.2f over %d programs, largest %.2f\n", l, exp(s / n), n, m }'
}
echo "best of $runs runs; user CPU seconds"
[ "$failed" = yes ] && echo "-: the program failed or did not build there; see $work/NAME.SYSTEM.err"
mean "ours/swipl" "${swipl_ratios[@]}"
[ "$gplc_ok" = yes ] && mean "ours/gplc" "${gplc_ratios[@]}"
exit 0

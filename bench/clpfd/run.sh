#!/usr/bin/env bash
# Times the CLP(FD) programs of bench/clpfd on this system's library(clpfd)
# and on swipl's, in the same run, and prints the CPU seconds of each (best
# of N runs) and their ratio. The goal is a ratio of at most 0.10 (this
# system at least ten times faster); it is printed, never asserted. Each
# program checks its own answer: a run that fails is shown as "-".
#
# Usage: bench/clpfd/run.sh [--runs N] [BUILD_DIR [PROGRAM...]]
#   BUILD_DIR  a build of this system (default: build)
#   PROGRAM    names of programs to run (default: all), e.g. queens sudoku
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
runs=3
if [ "${1:-}" = --runs ]; then
  runs="${2:-}"
  shift 2 || { echo "usage: $0 [--runs N] [BUILD_DIR [PROGRAM...]]" >&2; exit 2; }
fi
case "$runs" in
  ''|*[!0-9]*|0) echo "$0: --runs needs a positive number" >&2; exit 2 ;;
esac
build="$(cd "${1:-$here/../../build}" && pwd)"
[ $# -gt 0 ] && shift
lorvika="$build/bin/lorvika"
work="$build/bench-clpfd"
mkdir -p "$work"
if [ $# -gt 0 ]; then
  programs=()
  for name in "$@"; do programs+=("$here/$name.pl"); done
else
  programs=()
  for f in "$here"/*.pl; do
    case "$(basename "$f")" in *_driver.pl) ;; *) programs+=("$f") ;; esac
  done
fi

# best CMD...: the least of $runs timings printed by CMD, or "-".
best() {
  local err=$1 b=- t i
  shift
  for ((i = 0; i < runs; i++)); do
    if ! t=$("$@" 2>>"$err" </dev/null) || [ -z "$t" ]; then
      echo -
      return
    fi
    b=$(awk -v a="$b" -v t="$t" 'BEGIN { if (a == "-" || t + 0 < a + 0) print t; else print a }')
  done
  echo "$b"
}

printf '%-13s %9s %9s %10s\n' program lorvika swipl ours/swipl
for file in "${programs[@]}"; do
  name=$(basename "$file" .pl)
  rm -f "$work/$name".*.err
  ours=$(best "$work/$name.lorvika.err" "$lorvika" --noinfo --nologo -l "$here/lorvika_driver.pl" --goal main. -- "$file")
  theirs=$(best "$work/$name.swipl.err" swipl -O -q "$here/swipl_driver.pl" -- "$file")
  r=$(awk -v a="$ours" -v b="$theirs" 'BEGIN {
        if (a == "-" || b == "-") { print "-"; exit }
        if (b <= 0) b = 0.001
        printf "%.3f", a / b }')
  printf '%-13s %9s %9s %10s\n' "$name" "$ours" "$theirs" "$r"
done
echo "best of $runs runs; CPU seconds; goal: ours/swipl at most 0.10"
echo "failed runs leave their messages in $work/NAME.SYSTEM.err"

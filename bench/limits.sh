#!/usr/bin/env bash
# The two limits measured against swipl: the peak memory of findall/3 over
# 20 million integers (bench/limits/findall_memory.pl) and the CPU time of
# making 1,000,000 atoms (bench/limits/atom_making.pl). Each program's bench/0
# runs after consulting it, on the console program and on swipl -O; the best
# of N runs is kept and the ratio ours/swipl printed. Never a test.
#
# Usage: bench/limits.sh [--runs N] [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs=3
if [ "${1:-}" = --runs ]; then
  runs="${2:-}"
  shift 2 || { echo "usage: $0 [--runs N] [BUILD_DIR]" >&2; exit 2; }
fi
case "$runs" in
  ''|*[!0-9]*|0) echo "$0: --runs needs a positive number" >&2; exit 2 ;;
esac
build="$(cd "${1:-$root/build}" && pwd)"
ours="$build/bin/lorvika"
[ -x "$ours" ] || { echo "$0: no console program $ours" >&2; exit 2; }
work="$build/bench-run"
mkdir -p "$work"

# measure FIELD CMD...: the least of $runs values of /usr/bin/time's FIELD
# (%M peak KB, %U user seconds), or "-" when a run fails.
measure() {
  local field=$1 b=- v i
  shift
  for ((i = 0; i < runs; i++)); do
    if ! /usr/bin/time -o "$work/limits.time" -f "$field" "$@" </dev/null >"$work/limits.out" 2>&1; then
      echo -
      return
    fi
    v=$(tail -1 "$work/limits.time")
    b=$(awk -v a="$b" -v t="$v" 'BEGIN { if (a == "-" || t + 0 < a + 0) print t; else print a }')
  done
  echo "$b"
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b <= 0) print "-"; else printf "%.2f", a / b }'
}

printf '%-16s %-12s %10s %10s %10s\n' program measure lorvika swipl ours/swipl
for spec in findall_memory:%M:peak_KB atom_making:%U:user_s; do
  IFS=: read -r name field label <<<"$spec"
  file="$root/bench/limits/$name.pl"
  a=$(measure "$field" "$ours" -f --noinfo --nologo -l "$file" --goal "bench, halt.")
  b=$(measure "$field" swipl -O -q -g "bench, halt" "$file")
  printf '%-16s %-12s %10s %10s %10s\n' "$name" "$label" "$a" "$b" "$(ratio "$a" "$b")"
done
echo "best of $runs runs; a program's runs include start-up"

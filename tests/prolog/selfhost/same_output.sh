#!/usr/bin/env bash
# The compiler run on the system writes the same quick-load file as the
# bootstrap compiler run on swipl, for each program given.
# Usage: same_output.sh FACTS_DIR LVQLC_SYSTEM WORK_DIR PROGRAM.pl...
# FACTS_DIR: the generated facts and the boot file lvds.ql (build/boot).
set -euo pipefail
facts=$1 system=$2 work=$3
shift 3
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$work"
passed=0 failed=0
for src in "$@"; do
  name=$(basename "$src" .pl)
  "$here/../../../tools/lvqlc" "$facts" "$src" "$work/$name.host.ql"
  if "$system" "$facts/lvds.ql" --out "$work/$name.system.ql" "$src" && cmp "$work/$name.host.ql" "$work/$name.system.ql"; then
    passed=$((passed + 1))
  else
    echo "FAILED $name"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The differential test of one corpus file loaded by consult/1 on the
# system (after the boot file FACTS_DIR/lvds.ql) instead of compiled by the
# bootstrap compiler: every answer, in order, must equal what swipl gives
# for the same source, or the answers of NAME.expected beside it.
# Usage: consult_differential.sh SWIPL FACTS_DIR QL_ANSWERS WORK_DIR CORPUS_FILE
set -euo pipefail
swipl=$1 facts=$2 ql_answers=$3 work=$4 src=$5
here="$(cd "$(dirname "$0")" && pwd)"
name=$(basename "$src" .pl)
mkdir -p "$work"
if [ -f "${src%.pl}.expected" ]; then
  cp "${src%.pl}.expected" "$work/$name.expected"
else
  "$swipl" --traditional -q "$here/../answers.pl" -- "$src" > "$work/$name.expected"
fi
"$ql_answers" "$facts/lvds.ql" --consult "$src" > "$work/$name.actual"
diff -u "$work/$name.expected" "$work/$name.actual"
echo "$name: $(wc -l < "$work/$name.expected") answers agree, consulted"

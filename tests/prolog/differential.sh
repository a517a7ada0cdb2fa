#!/usr/bin/env bash
# The differential test of one corpus file: compiled by the bootstrap
# compiler, loaded through the quick-load reader after the boot file
# (FACTS_DIR/lvds.ql) and run on the emulator;
# every answer, in order, must equal what swipl gives for the same source,
# or, for a file with NAME.expected beside it, the answers written there.
# Usage: differential.sh SWIPL FACTS_DIR QL_ANSWERS WORK_DIR CORPUS_FILE
set -euo pipefail
swipl=$1 facts=$2 ql_answers=$3 work=$4 src=$5
here="$(cd "$(dirname "$0")" && pwd)"
name=$(basename "$src" .pl)
mkdir -p "$work"
"$here/../../tools/lvqlc" "$facts" "$src" "$work/$name.ql"
"$here/../../tools/lvqlc" "$facts" "$src" "$work/$name.items" items
if [ -f "${src%.pl}.expected" ]; then
  cp "${src%.pl}.expected" "$work/$name.expected"
else
  "$swipl" --traditional -q "$here/answers.pl" -- "$src" > "$work/$name.expected"
fi
"$ql_answers" "$facts/lvds.ql" "$work/$name.ql" > "$work/$name.actual"
diff -u "$work/$name.expected" "$work/$name.actual"
# The same clauses made in memory from their item lists; a file marked
# "% differential: no items" calls predicates that only exist once asserted,
# which an item list cannot name.
if grep -q '^% differential: no items' "$src"; then
  echo "$name: $(wc -l < "$work/$name.expected") answers agree, from the code blocks"
  exit 0
fi
"$ql_answers" "$facts/lvds.ql" --items "$work/$name.items" > "$work/$name.actual-items"
diff -u "$work/$name.expected" "$work/$name.actual-items"
echo "$name: $(wc -l < "$work/$name.expected") answers agree, from the code blocks and from the item lists"

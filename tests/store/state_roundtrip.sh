#!/usr/bin/env bash
# The saved-state round trip of one compiled program: its listing must be
# the same before the state is saved, after it is restored in the same
# engine and after a fresh engine restores it (over the boot file for a
# state of kind all_but_prolog, from nothing for a state of kind all, which
# then holds the whole system); its answers after both restores must be
# those of the program run without a state.
# Usage: state_roundtrip.sh FACTS_DIR STATE_ANSWERS WORK_DIR SOURCE.pl MODULE KIND
set -euo pipefail
facts=$1 program=$2 work=$3 src=$4 module=$5 kind=$6
here="$(cd "$(dirname "$0")" && pwd)"
name=$(basename "$src" .pl)-$kind
dir="$work/$name"
rm -rf "$dir"
mkdir -p "$dir"
"$here/../../tools/lvqlc" "$facts" "$src" "$dir/program.ql"
"$program" run "$facts/lvds.ql" "$dir/program.ql" "$module" > "$dir/answers.txt"
"$program" save "$facts/lvds.ql" "$dir/program.ql" "$module" "$dir/state.sav" "$kind" > "$dir/saved.txt"
if [ "$kind" = all ]; then
  "$program" restore "$dir/state.sav" "$module" > "$dir/restored.txt"
else
  "$program" restore "$dir/state.sav" "$module" "$facts/lvds.ql" > "$dir/restored.txt"
fi
# The blocks: saved.txt holds listing, listing, answers; restored.txt
# holds listing, answers; answers.txt holds answers.
(cd "$dir" && csplit -s -z -f saved. saved.txt '/^== /' '{*}' && csplit -s -z -f restored. restored.txt '/^== /' '{*}')
[ -f "$dir/saved.02" ] && [ -f "$dir/restored.01" ] || { echo "$name: missing output blocks"; exit 1; }
diff -u "$dir/saved.00" "$dir/saved.01"
diff -u "$dir/saved.00" "$dir/restored.00"
diff -u "$dir/answers.txt" "$dir/saved.02"
diff -u "$dir/answers.txt" "$dir/restored.01"
echo "$name: $(grep -c . "$dir/saved.00") listing lines and $(($(grep -c . "$dir/answers.txt") - 1)) answers the same after both restores"

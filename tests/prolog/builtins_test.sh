#!/usr/bin/env bash
# One table of the Prolog tests: the reference answers of its t/3 cases from
# swipl in ISO mode, the table compiled with the runner and those answers,
# then run after the boot file (FACTS_DIR/lvds.ql) by builtin_tests.
# Usage: builtins_test.sh SWIPL FACTS_DIR BUILTIN_TESTS WORK_DIR TABLE.pl [PRELUDE.pl...]
# The prelude files (library files the table uses) are compiled in with it.
set -euo pipefail
swipl=$1 facts=$2 builtin_tests=$3 work=$4 table=$5
shift 5
here="$(cd "$(dirname "$0")" && pwd)"
name=$(basename "$table" .pl)
mkdir -p "$work"
"$swipl" --traditional -q "$here/reference_answers.pl" -- "$table" > "$work/$name.expected.pl"
"$here/../../tools/lvqlc" "$facts" --out "$work/$name.ql" "$@" "$here/builtins/runner.pl" "$table" "$work/$name.expected.pl"
"$builtin_tests" "$facts/lvds.ql" "$work/$name.ql"

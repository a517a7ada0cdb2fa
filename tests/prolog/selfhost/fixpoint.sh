#!/usr/bin/env bash
# The bootstrap's second stage once more, as a test: the system compiles
# the boot library with the compiler its boot file holds, and the result
# must be that boot file, byte for byte.
# Usage: fixpoint.sh BOOT.ql LVQLC_SYSTEM WORK_DIR SOURCE.pl...
set -euo pipefail
boot=$1 system=$2 work=$3
shift 3
mkdir -p "$work"
"$system" "$boot" --out "$work/lvds2.ql" --module prolog "$@"
cmp "$boot" "$work/lvds2.ql"

#!/bin/sh
# Checks that a shared library defines exactly the dynamic symbols named
# after it: check_exports.sh LIBRARY SYMBOL...
lib=$1; shift
actual=$(nm -D --defined-only "$lib" | awk '{print $NF}' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$actual" != "$expected" ]; then
  echo "$lib exports:"; echo "$actual"; echo "expected:"; echo "$expected"
  exit 1
fi

#!/usr/bin/env bash
# Fails unless a shared object exports exactly the pinned names: no extra symbol (for the driver:
# JFIF writer, maintenance entries, C++ library instances), none missing.
# Usage: check_exports.sh <libVantrel.so> <kr_exports.def> [name...]
#        check_exports.sh <shared object> <name>...
set -euo pipefail
lib=$1
shift
if [ $# -ge 1 ] && [ -f "$1" ]; then
  list=$1
  shift
  expected=$( (sed -n 's/^VT_KR_EXPORT(\([A-Za-z0-9_]*\)).*/\1/p' "$list"; printf '%s\n' "$@") |
    grep -v '^$' | sort -u)
else
  list="the pinned names"
  expected=$(printf '%s\n' "$@" | sort -u)
fi
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' |
  grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | sort -u)
extra=$(comm -13 <(echo "$expected") <(echo "$actual"))
missing=$(comm -23 <(echo "$expected") <(echo "$actual"))
status=0
if [ -n "$extra" ]; then
  echo "exported from $lib but not in $list:"; echo "$extra"; status=1
fi
if [ -n "$missing" ]; then
  echo "in $list but not exported from $lib:"; echo "$missing"; status=1
fi
[ -n "$expected" ] || { echo "no names in $list"; status=1; }
[ $status -eq 0 ] && echo "$lib exports the $(echo "$expected" | wc -l) names of $list"
exit $status

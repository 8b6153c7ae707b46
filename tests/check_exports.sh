#!/usr/bin/env bash
# Fails when a shared object exports a defined symbol that the allowed pattern (an extended
# regular expression, default: the driver's KR functions and the version entry that every
# project library has) does not match.
set -euo pipefail
lib=$1
allowed=${2:-'^(KR.*|LibraryCurrentVersion)$'}
bad=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | grep -v -E "$allowed" | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' || true)
if [ -n "$bad" ]; then
  echo "unexpected exports from $lib:"; echo "$bad"; exit 1
fi
echo "exports of $lib:"; nm -D --defined-only "$lib" | awk '{print $3}' | grep -E "$allowed" || echo "(none yet)"

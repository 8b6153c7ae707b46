#!/usr/bin/env bash
# Fails when the driver library exports a defined symbol other than a KR function.
set -euo pipefail
lib=$1
bad=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | grep -v '^KR' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' || true)
if [ -n "$bad" ]; then
  echo "unexpected exports from $lib:"; echo "$bad"; exit 1
fi
echo "exports of $lib:"; nm -D --defined-only "$lib" | awk '{print $3}' | grep '^KR' || echo "(none yet)"

#!/usr/bin/env bash
# Fails when an object built for an instruction set the processor may lack could run its code on
# any processor: the dynamic initialisation of its globals runs as the library loads, before any
# check of what the processor has, and a shared (weak) definition of an inline function may be
# the copy the linker keeps for every caller. (A sanitizer's module constructor only registers
# the object and is not looked at.)
# Usage: check_no_load_code.sh <object>...
set -euo pipefail
[ $# -ge 1 ] || { echo "no object given" >&2; exit 2; }
status=0
for obj in "$@"; do
  [ -f "$obj" ] || { echo "$obj is missing" >&2; exit 2; }
  if init=$(nm "$obj" | grep -E ' _GLOBAL__(sub_)?I_'); then
    echo "$obj initialises globals at load time:" >&2
    echo "$init" >&2
    status=1
  fi
  if weak=$(nm -C "$obj" | grep -E ' W '); then
    echo "$obj defines shared inline code:" >&2
    echo "$weak" >&2
    status=1
  fi
done
exit $status

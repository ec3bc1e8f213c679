#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine with the project's prefix (the test emulator of
# the Windows build tree).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
if [ -x /usr/lib/wine/wine64 ]; then exec /usr/lib/wine/wine64 "$@"; else exec wine "$@"; fi

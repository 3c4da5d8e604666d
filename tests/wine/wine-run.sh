#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest. The display comes from the environment
# (the test scripts start a private Xvfb); the prefix is made here when missing.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
ptc_prepare_prefix || exit 1
wineserver -p 2>/dev/null || true
exec wine "$@"

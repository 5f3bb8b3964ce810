#!/usr/bin/env bash
# The Windows program under wine, in an X server of its own: the installer, the installed
# program and the harness with boards behind COM ports.
#   run_app_tests.sh WINDOWS_BUILD [unittest args]   (WINDOWS_BUILD: what packaging/windows/build.sh made)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$(cd "$1" && pwd)"
shift
export E2E_SUITE="$here/test_windows.py" E2E_HARNESS="$out/app/tavrick-cards-harness.exe"
export TAVRICK_WINDOWS_BUILD="$out" E2E_SECONDS=900
exec "$here/../e2e/run_e2e.sh" "$out/app" "$@"

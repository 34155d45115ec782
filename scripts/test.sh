#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the Linux build under
# the address and undefined-behaviour sanitizers, then the Windows cross
# build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh native windows

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# Windows: VarnoxMail.dll and the test programs, built with mingw-w64 and run
# under Wine in a throw-away prefix inside build/windows.
cmake --preset windows
cmake --build --preset windows
ctest --preset windows

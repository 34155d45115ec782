#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the Linux build under
# the address and undefined-behaviour sanitizers, a short run of each fuzz
# target, then the Windows cross build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh native windows tools

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

# The fuzz targets, 30 seconds each, two at a time (clang with libFuzzer
# comes with the tools group above); docs/proof.md has the long runs.
if command -v clang++ >/dev/null &&
   echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
     clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  bash scripts/fuzz.sh 30
else
  echo "test.sh: clang with libFuzzer is not installed; the fuzz targets are not run"
fi

# Windows: VarnoxMail.dll and the test programs, built with mingw-w64 and run
# under Wine in a throw-away prefix inside build/windows.
cmake --preset windows
cmake --build --preset windows
ctest --preset windows

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

# Windows: VarnoxMail.dll, the setup program and every test program, built
# with mingw-w64 for both Outlook bitnesses and run under Wine in throw-away
# prefixes inside the build folders. The optimised builds are the ones the
# setup carries, so each DLL is built once and the DLLs tested are the ones
# shipped. Each test program is one CTest test under Wine; those of tests/win
# share their prefix's registry and desktop and take turns, the others run
# beside them. 32-bit first: the 64-bit setup program carries its DLL.
cmake --preset windows-i686-release
cmake --build --preset windows-i686-release
ctest --preset windows-i686-release -j2
# Its Wine prefixes (about 1.3 GB each) are not needed by the 64-bit build.
rm -rf build/windows-i686-release/wine-prefix build/windows-i686-release/wine-prefix-portable
cmake --preset windows-release
cmake --build --preset windows-release
# The setup program in three fresh prefixes at once, with the rest.
ctest --preset windows-release -j3

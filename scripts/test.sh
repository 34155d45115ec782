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

# 32-bit: the optimised DLL (which the setup carries) and the tests of the
# COM module, the adapters and the platform side, under 32-bit Wine. The
# dialogs and drawing are the same sources as 64-bit and are not run twice.
cmake --preset windows-i686-release
cmake --build --preset windows-i686-release --target VarnoxMail VarnoxRegister varnox_pages \
  win_com_tests win_outlook_tests win_platform_tests win_registrar_tests
ctest --preset windows-i686-release \
  -R 'Registration|VersionResource|AddinModule|EndToEnd|EventSink|OutlookAdapters|CodePage|WinRegistry|WinFileSystem|Msxml|Registrar|dll_exports'

# The setup program, carrying both DLLs, installed and removed in fresh Wine
# prefixes.
cmake --preset windows-release
cmake --build --preset windows-release --target varnox_setup progid_probe
ctest --preset windows-release -R '^setup_for_' -j3  # three prefixes at once

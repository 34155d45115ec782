#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test: the Linux build under
# the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh native

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

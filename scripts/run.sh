#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the optimised `varnox` command and
# runs it. Arguments are passed to `varnox`.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh native

cmake --preset release >/dev/null
cmake --build --preset release --target varnox
exec build/release/linux/varnox "$@"

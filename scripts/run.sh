#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the optimised `varnox` command and
# runs it with the arguments given.
#
# Without arguments it shows what Varnox can do here: it lays down the
# settings and empty data files (`varnox init`) when there are none yet, then
# prints the command's help and the current state (`varnox status`).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh native

# The command needs no benchmarks; leaving them out spares their dependencies.
cmake --preset release -DVARNOX_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release --target varnox
varnox=build/release/linux/varnox

if [ $# -gt 0 ]; then
  exec "$varnox" "$@"
fi

# The settings file's place, by the same rule as the command's: an
# XDG_CONFIG_HOME that is not an absolute path is passed over.
config_home="${XDG_CONFIG_HOME:-}"
[[ "$config_home" == /* ]] || config_home="${HOME:?HOME is not set}/.config"
if [ ! -e "$config_home/varnox/settings.ini" ]; then
  "$varnox" init
  echo
fi
"$varnox" --help
echo
"$varnox" status

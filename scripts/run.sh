#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the optimised `varnox` command and
# runs it.
#
# Without arguments it runs the main job: it lays down the settings and
# empty data files (`varnox init`) when there are none yet, then watches
# ~/Maildir (made when missing; $MAILDIR when set) and judges new mail until
# Ctrl-C. With arguments it runs `varnox` with them instead.
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
exec "$varnox" watch

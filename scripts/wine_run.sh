#!/usr/bin/env bash
# Runs a Windows program under Wine: wine_run.sh PREFIX WINE PROGRAM [ARGS...]
# PREFIX is used unless WINEPREFIX is set already; it is made on first use, once, under a lock
# (tests run in parallel). Wine's own messages are off unless WINEDEBUG says otherwise, and the
# Mono and Gecko installers are never offered.
set -euo pipefail
prefix=$1 wine=$2
shift 2
export WINEPREFIX=${WINEPREFIX:-$prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      env -u DISPLAY wineboot -i >/dev/null 2>&1
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"

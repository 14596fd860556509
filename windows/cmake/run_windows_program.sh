#!/usr/bin/env bash
# Runs one of the build's Windows programs under Wine:
#   run_windows_program.sh LOADER PREFIX PROGRAM ARGS...
# LOADER is the Wine loader of the program's bitness, PREFIX the build's own Wine prefix.
set -uo pipefail

loader=$1
export WINEPREFIX=$2
shift 2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A build step opens no windows, whatever display the developer's shell names.
unset DISPLAY WAYLAND_DISPLAY

# Wine's helper processes outlive the program: their output goes to a file, never to the build
# tool's pipe, which it would otherwise wait on until they exit.
log=$(mktemp)
"$loader" "$@" >"$log" 2>&1
status=$?
wineserver -w >/dev/null 2>&1
grep -v '^wine: .*configuration' "$log"
rm -f "$log"
exit $status

#!/usr/bin/env bash
# Runs the COM control's tests under Wine: one throwaway prefix and one Xvfb display per
# bitness, shared by that bitness's tests through CTest fixtures.
#
#   run_wine.sh setup STATE                    new prefix (wineboot), virtual desktop, Xvfb
#   run_wine.sh cleanup STATE                  stops Wine and Xvfb, removes the prefix
#   run_wine.sh run STATE BITS PROGRAM ARGS    runs a Windows program of that bitness
#   run_wine.sh register STATE BITS DLL CLIENT regsvr32, keys present, /u, keys gone, again
#   run_wine.sh trace STATE BITS CLIENT CASES QUILLET OUT
#                                              each case through the control and through
#                                              `quillet trace`: identical, line for line
#   run_wine.sh vbscript STATE BITS SCRIPT     the script under Wine's cscript
set -uo pipefail

command=$1
state=$2
shift 2

export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Debian puts the 64-bit loader beside Wine's libraries, not on PATH. Built-in programs
# (regsvr32, cscript) take the bitness of the loader that starts them.
loader() {
  if [ "$1" = 64 ]; then
    for candidate in "${QUILLET_WINE64:-}" /usr/lib/wine/wine64 /usr/lib64/wine/wine64 \
        "$(command -v wine64 || true)"; do
      [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return; }
    done
  fi
  command -v wine
}

windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }

# Wine's helper processes outlive a program: their output goes to a file, never to CTest's
# pipe, which CTest would otherwise wait on.
quiet() {
  local log
  log=$(mktemp "$state/log.XXXXXX")
  "$@" >"$log" 2>&1
  local status=$?
  cat "$log"
  rm -f "$log"
  return $status
}

use_display() { export DISPLAY=":$(cat "$state/display")"; }

case "$command" in
  setup)
    "$0" cleanup "$state" >/dev/null 2>&1
    mkdir -p "$state"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" \
      </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do [ -s "$state/display" ] && break; sleep 0.1; done
    [ -s "$state/display" ] || { echo "Xvfb did not start"; cat "$state/xvfb.log"; exit 1; }
    use_display
    quiet wine wineboot -i || exit 1
    # One virtual desktop: without a window manager every window close waits for one.
    quiet wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null &&
      quiet wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
        >/dev/null || exit 1
    echo "Wine prefix ready on display $DISPLAY"
    ;;
  cleanup)
    [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    if [ -f "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null
      rm -f "$state/xvfb.pid"
    fi
    rm -rf "$WINEPREFIX" "$state/display"
    ;;
  run)
    bits=$1
    shift
    use_display
    quiet "$(loader "$bits")" "$@"
    ;;
  register)
    bits=$1 dll=$(windows_path "$2") client=$3
    use_display
    wine=$(loader "$bits")
    quiet "$wine" regsvr32 /s "$dll" || { echo "regsvr32 failed"; exit 1; }
    quiet "$wine" "$client" registered || exit 1
    quiet "$wine" regsvr32 /u /s "$dll" || { echo "regsvr32 /u failed"; exit 1; }
    quiet "$wine" "$client" unregistered || exit 1
    # Registered again for the tests that follow.
    quiet "$wine" regsvr32 /s "$dll" || exit 1
    echo "registered, checked, unregistered, checked, registered again"
    ;;
  trace)
    bits=$1 client=$2 cases=$3 quillet=$4 out=$5
    mkdir -p "$out"
    while IFS= read -r line; do
      line=${line%$'\r'}
      [ -z "$line" ] || [ "${line:0:1}" = "#" ] && continue
      mapfile -t -d $'\t' fields < <(printf '%s' "$line")
      printf '== %s\n' "$line"
      "$quillet" trace "${fields[@]}"
    done <"$cases" >"$out/expected.trace"
    use_display
    quiet "$(loader "$bits")" "$client" trace "$(windows_path "$cases")" >"$out/actual.trace" ||
      { echo "the client failed"; head -50 "$out/actual.trace"; exit 1; }
    if ! diff -u "$out/expected.trace" "$out/actual.trace" >"$out/trace.diff"; then
      echo "COM traces differ from quillet trace:"
      head -80 "$out/trace.diff"
      exit 1
    fi
    echo "$(grep -c '^== ' "$out/expected.trace") drawings identical ($(wc -l <"$out/expected.trace") lines)"
    ;;
  vbscript)
    bits=$1 script=$2
    use_display
    output=$(quiet "$(loader "$bits")" cscript //nologo "$(windows_path "$script")")
    status=$?
    echo "$output"
    # cscript exits 0 when the script does not even parse: only the last line proves a run.
    [ $status -eq 0 ] && grep -q "all checks passed" <<<"$output"
    ;;
  *)
    echo "run_wine.sh: unknown command $command" >&2
    exit 64
    ;;
esac

#!/usr/bin/env bash
# Quillet.Canvas's tests under Wine, in the prefix and on the display that ../run_wine.sh set up
# for the bitness (fixture com_wine_BITS).
#
#   canvas_wine.sh register STATE BITS DLL     per user (/n /i:user) and back, then for all users
#   canvas_wine.sh vbscript STATE BITS SCRIPT TABLE OUT DECODER
#                                              the script saves one PNG per type and DPI into
#                                              OUT, DECODER reads them back with zbar; then
#                                              the README's examples (examples.vbs) and the
#                                              package's VBA module and ASP page
#   canvas_wine.sh trace STATE BITS CLIENT CASES QUILLET OUT
#                                              the control's cases through the canvas client
#   canvas_wine.sh pictures STATE BITS CLIENT OUT
#                                              EMF playback, the Picture round trip, errors
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
run_wine=$here/../run_wine.sh
command=$1 state=$2 bits=$3
shift 3

windows_path() { local path; path=$(realpath "$1"); echo "Z:${path//\//\\}"; }
wine() { "$run_wine" run "$state" "$bits" "$@"; }
key_present() { wine reg query "$1" >/dev/null 2>&1; }

case "$command" in
  register)
    dll=$(windows_path "$1")
    user='HKCU\Software\Classes\Quillet.Canvas\CLSID'
    machine='HKLM\Software\Classes\Quillet.Canvas\CLSID'
    wine regsvr32 /s /n /i:user "$dll" || { echo "per-user registration failed"; exit 1; }
    key_present "$user" || { echo "no per-user ProgID after regsvr32 /n /i:user"; exit 1; }
    wine regsvr32 /s /u /n /i:user "$dll" || { echo "per-user unregistration failed"; exit 1; }
    key_present "$user" && { echo "per-user ProgID left after /u /n /i:user"; exit 1; }
    wine regsvr32 /s "$dll" || { echo "regsvr32 failed"; exit 1; }
    key_present "$machine" || { echo "no ProgID for all users after regsvr32"; exit 1; }
    echo "registered for the user, unregistered, registered for all users"
    ;;
  vbscript)
    script=$1 table=$2 out=$3 decoder=$4
    rm -rf "$out" && mkdir -p "$out"
    output=$(wine cscript //nologo "$(windows_path "$script")" "$(windows_path "$table")" \
      "$(windows_path "$out")")
    echo "$output"
    # cscript exits 0 when the script does not even parse: only the last line proves a run.
    grep -q "all checks passed" <<<"$output" || exit 1
    # The README's examples, in the same folder.
    output=$(wine cscript //nologo "$(windows_path "$here/examples.vbs")" "$(windows_path "$out")")
    echo "$output"
    grep -q "all checks passed" <<<"$output" || exit 1
    # The package's VBA module and ASP page, made VBScript: the module without its declared
    # types and attributes, the page's script (after its directive) as a procedure.
    examples=$here/../../../windows/package/examples
    {
      cat "$here/package_examples.vbs"
      sed -e '/^Attribute /d' -e '/^Option /d' -e 's/ As [A-Za-z]*//g' "$examples/Quillet.bas"
      echo "Sub RunPage()"
      awk '/^<%@/ {next} /^<%/ {inside=1; next} /^%>/ {inside=0} inside' "$examples/barcode.asp" |
        grep -v '^Option '
      echo "End Sub"
    } >"$out/package_examples.vbs"
    output=$(wine cscript //nologo "$(windows_path "$out/package_examples.vbs")")
    echo "$output"
    grep -q "all checks passed" <<<"$output" || exit 1
    "$decoder" "$table" "$out"
    ;;
  trace)
    client=$1 cases=$2 quillet=$3 out=$4
    mkdir -p "$out"
    # A negative pWidth gives a negative FontSize, which the canvas refuses as a picture box
    # does (error 380); the recording surface of `quillet trace` takes it.
    grep -v -- '--width=-' "$cases" >"$out/cases.txt"
    "$run_wine" trace "$state" "$bits" "$client" "$out/cases.txt" "$quillet" "$out"
    ;;
  pictures)
    client=$1 out=$2
    rm -rf "$out" && mkdir -p "$out"
    wine "$client" pictures "$(windows_path "$out")"
    ;;
  *)
    echo "canvas_wine.sh: unknown command $command" >&2
    exit 64
    ;;
esac

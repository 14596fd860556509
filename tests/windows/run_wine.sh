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
#   run_wine.sh sidebyside STATE [DLL32 CLIENT32 DLL64 CLIENT64]...
#                                              per server: both bitnesses registered, each
#                                              unregistered in turn while the other keeps
#                                              working; then the registry as before
#   run_wine.sh regfree STATE BITS DLL CLIENT   the client with an application manifest, the
#                                              DLL with its assembly manifest, nothing
#                                              registered: created and drawn, registry as before
#   run_wine.sh package STATE FOLDER CLIENT32 CLIENT64
#                                              a fresh prefix, the release package unpacked:
#                                              registered per user and drawn, registered for all
#                                              users and its example drawn, both bitnesses
#   run_wine.sh installer STATE FOLDER OLDER CLIENT32 CLIENT64
#                                              a fresh prefix: the all-users installer of
#                                              OLDER, then FOLDER's over it (one registration
#                                              left, the same rows as regsvr32 writes), its
#                                              examples drawn in both bitnesses, uninstalled:
#                                              registry and folders as before; then the
#                                              current user's installer, drawn by a client
#                                              from the user's registration, uninstalled
#   run_wine.sh peruser STATE BITS DLL CLIENT SCRIPT
#                                              regsvr32 /n /i:user, the control created and
#                                              drawn by the client and the script, /u, then the
#                                              registry as before
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

# The classes of all users and of the current user, in the 32-bit and the 64-bit view.
snapshot() {
  local out=$1 root view
  mkdir -p "$out"
  for root in HKLM HKCU; do
    for view in 32 64; do
      rm -f "$out/$root$view.reg"
      quiet "$(loader 64)" reg export "$root\\Software\\Classes" \
        "$(windows_path "$out")\\$root$view.reg" /reg:$view /y >/dev/null
      if [ -f "$out/$root$view.reg" ]; then
        iconv -f UTF-16LE -t UTF-8 "$out/$root$view.reg" >"$out/$root$view.txt" || return 1
        rm -f "$out/$root$view.reg"
      else
        echo "(no key)" >"$out/$root$view.txt"
      fi
    done
  done
}

# The registry as the snapshot BEFORE has it: any key left or lost is printed.
unchanged_since() {
  local before=$1 after=$2 file status=0
  snapshot "$after" || return 1
  for file in "$before"/*.txt; do
    diff -u "$file" "$after/$(basename "$file")" >"$after/$(basename "$file" .txt).diff" || {
      echo "registry changed: $(basename "$file" .txt)"
      head -40 "$after/$(basename "$file" .txt).diff"
      status=1
    }
  done
  return $status
}

regsvr() { local bits=$1; shift; quiet "$(loader "$bits")" regsvr32 /s "$@"; }

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
    # HKEY_CURRENT_USER\Software\Classes, which every Windows profile has, for per-user
    # registrations.
    quiet wine reg add 'HKCU\Software\Classes' /f >/dev/null || exit 1
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
  sidebyside)
    # One row of four arguments per server (quillet.dll, quillet_canvas.dll): each client knows
    # the parts "registered" and "unregistered".
    use_display
    snapshot "$state/before" || { echo "reg export failed"; exit 1; }
    run() { quiet "$(loader "$1")" "$2" "$3"; }
    while [ $# -ge 4 ]; do
      dll32=$(windows_path "$1") client32=$2 dll64=$(windows_path "$3") client64=$4
      name=$(basename "$1")
      shift 4
      regsvr 32 "$dll32" && regsvr 64 "$dll64" || { echo "$name: regsvr32 failed"; exit 1; }
      run 32 "$client32" registered && run 64 "$client64" registered || exit 1
      regsvr 64 /u "$dll64" || { echo "$name: regsvr32 /u (64-bit) failed"; exit 1; }
      run 32 "$client32" registered ||
        { echo "$name: 32-bit broken by unregistering 64-bit"; exit 1; }
      regsvr 64 "$dll64" && regsvr 32 /u "$dll32" || exit 1
      run 64 "$client64" registered ||
        { echo "$name: 64-bit broken by unregistering 32-bit"; exit 1; }
      regsvr 64 /u "$dll64" || exit 1
      run 32 "$client32" unregistered && run 64 "$client64" unregistered || exit 1
      echo "$name: both registered; each unregistered in turn, the other working; both gone"
    done
    unchanged_since "$state/before" "$state/after" || exit 1
    echo "registry as before"
    ;;
  regfree)
    bits=$1 dll=$2 client=$3
    folder="$state/regfree$bits"
    rm -rf "$folder" && mkdir -p "$folder" || exit 1
    cp "$dll" "$(dirname "$dll")/Quillet.Control.manifest" "$client" "$folder/" || exit 1
    # The application's manifest names the control's assembly, as its manifest identifies it.
    identity=$(tr '\n' ' ' <"$folder/Quillet.Control.manifest" |
      grep -o '<assemblyIdentity [^>]*>' | head -1)
    cat >"$folder/$(basename "$client").manifest" <<MANIFEST
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <dependency><dependentAssembly>$identity</dependentAssembly></dependency>
</assembly>
MANIFEST
    use_display
    snapshot "$state/before-free$bits" || { echo "reg export failed"; exit 1; }
    status=0
    quiet "$(loader "$bits")" "$folder/$(basename "$client")" registration-free || status=1
    unchanged_since "$state/before-free$bits" "$state/after-free$bits" || status=1
    [ $status -eq 0 ] && echo "created and drawn through the manifests, nothing registered"
    exit $status
    ;;
  package)
    zip=$(ls "$1"/quillet-*-windows.zip 2>/dev/null | head -1) client32=$2 client64=$3
    [ -n "$zip" ] || { echo "no quillet-*-windows.zip in $1"; exit 1; }
    "$0" setup "$state" >/dev/null || { echo "no fresh prefix"; exit 1; }
    trap '"$0" cleanup "$state" >/dev/null 2>&1' EXIT
    use_display
    unpacked="$state/unpacked"
    mkdir -p "$unpacked" && (cd "$unpacked" && cmake -E tar xf "$zip") || exit 1
    status=0
    for file in x86/quillet.dll x86/Quillet.Control.manifest x86/quillet_canvas.dll \
        x64/quillet.dll x64/Quillet.Control.manifest x64/quillet_canvas.dll quillet.tlb \
        README.txt LICENSE.txt MINGW-W64-RUNTIME.txt examples/draw.vbs examples/label.vbs; do
      [ -f "$unpacked/$file" ] || { echo "the package lacks $file"; status=1; }
    done
    for bits in 32 64; do
      folder=$([ "$bits" = 32 ] && echo x86 || echo x64)
      client=$([ "$bits" = 32 ] && echo "$client32" || echo "$client64")
      dll=$(windows_path "$unpacked/$folder/quillet.dll")
      regsvr "$bits" /n /i:user "$dll" || { echo "$folder: regsvr32 /n /i:user failed"; exit 1; }
      quiet "$(loader "$bits")" "$client" user-registered >/dev/null ||
        { echo "$folder: the per-user registration does not draw"; status=1; }
      regsvr "$bits" /u /n /i:user "$dll" || status=1
      regsvr "$bits" "$dll" || { echo "$folder: regsvr32 failed"; exit 1; }
      output=$(quiet "$(loader "$bits")" cscript //nologo "$(windows_path "$unpacked/examples/draw.vbs")")
      grep -q "^result 0, 95 boxes, pCode 400638133393" <<<"$output" ||
        { echo "$folder: examples/draw.vbs: $output"; status=1; }
      # The canvas beside it: the label example saves a PNG through both DLLs.
      canvas=$(windows_path "$unpacked/$folder/quillet_canvas.dll")
      regsvr "$bits" "$canvas" || { echo "$folder: regsvr32 of the canvas failed"; exit 1; }
      label="$state/label$bits.png"
      output=$(quiet "$(loader "$bits")" cscript //nologo \
        "$(windows_path "$unpacked/examples/label.vbs")" "$(windows_path "$label")")
      grep -q "^result 0, pCode 400638133393, saved" <<<"$output" &&
        [ "$(head -c 8 "$label" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        { echo "$folder: examples/label.vbs: $output"; status=1; }
      regsvr "$bits" /u "$canvas" || status=1
      regsvr "$bits" /u "$dll" || status=1
    done
    [ $status -eq 0 ] && echo "unpacked into a fresh prefix; both bitnesses registered per user and for all users, and drawn, on the canvas too"
    exit $status
    ;;
  installer)
    new=$(ls "$1"/quillet-*-x64.msi 2>/dev/null | head -1)
    old=$(ls "$2"/quillet-*-x64.msi 2>/dev/null | head -1)
    user=$(ls "$1"/quillet-*-x64-user.msi 2>/dev/null | head -1)
    client32=$3 client64=$4
    [ -n "$new" ] && [ -n "$old" ] || { echo "no installers in $1 and $2"; exit 1; }
    "$0" setup "$state" >/dev/null || { echo "no fresh prefix"; exit 1; }
    trap '"$0" cleanup "$state" >/dev/null 2>&1' EXIT
    use_display
    wine64=$(loader 64)
    # msiexec can return while the installer's own processes still finish the work (removing the
    # older product, writing the registry); the prefix is looked at only once they have all ended.
    msiexec() {
      local status=0
      quiet "$wine64" msiexec "$1" "$(windows_path "$2")" /qn || status=$?
      wineserver -w
      return $status
    }
    drive="$WINEPREFIX/drive_c"
    machine64="$drive/Program Files/Quillet" machine32="$drive/Program Files (x86)/Quillet"
    user_folder="$drive/users/${USER:-$(id -un)}/AppData/Local/Programs/Quillet"
    # Each example draws in each bitness: the script host of that bitness finds the DLLs
    # through the registration the installer wrote.
    draw_examples() {
      local folder=$1 bits output label
      for bits in 32 64; do
        output=$(quiet "$(loader "$bits")" cscript //nologo "$(windows_path "$folder/examples/draw.vbs")")
        grep -q "^result 0, 95 boxes, pCode 400638133393" <<<"$output" ||
          { echo "$bits-bit draw.vbs: $output"; return 1; }
        label="$state/label$bits.png"
        rm -f "$label"
        output=$(quiet "$(loader "$bits")" cscript //nologo \
          "$(windows_path "$folder/examples/label.vbs")" "$(windows_path "$label")")
        grep -q "^result 0, pCode 400638133393, saved" <<<"$output" &&
          [ "$(head -c 8 "$label" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
          { echo "$bits-bit label.vbs: $output"; return 1; }
      done
    }
    uninstall_entries() {
      local view count=0
      for view in 32 64; do
        rm -f "$state/uninstall.reg"
        quiet "$wine64" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
          "$(windows_path "$state")\\uninstall.reg" /reg:$view /y >/dev/null
        count=$((count + $(iconv -f UTF-16LE -t UTF-8 "$state/uninstall.reg" 2>/dev/null |
          grep -c '^"DisplayName"="Quillet barcode control"')))
      done
      echo $count
    }
    # Wine registers its script engines' type libraries on their first run.
    echo 'WScript.Echo "ready"' >"$state/ready.vbs"
    for bits in 32 64; do
      quiet "$(loader "$bits")" cscript //nologo "$(windows_path "$state/ready.vbs")" >/dev/null
    done
    # The Windows Installer's own containers, which any Windows that ever installed a package
    # has: what they hold for this package must go, the containers stay.
    for key in Features Products UpgradeCodes; do
      quiet "$wine64" reg add "HKLM\\Software\\Classes\\Installer\\$key" /f >/dev/null
    done
    # As on any Windows, the user's classes key is there before anything is installed: Wine makes
    # it on first use, sooner or later as the machine is loaded, which is no trace of ours.
    quiet "$wine64" reg add 'HKCU\Software\Classes' /f >/dev/null
    snapshot "$state/before" || { echo "reg export failed"; exit 1; }
    status=0

    msiexec /i "$old" || { echo "msiexec /i $(basename "$old") failed"; exit 1; }
    msiexec /i "$new" || { echo "msiexec /i $(basename "$new") (the upgrade) failed"; exit 1; }
    [ "$(uninstall_entries)" = 1 ] ||
      { echo "after the upgrade: $(uninstall_entries) installed products, not 1"; status=1; }
    for file in "$machine64/quillet.dll" "$machine64/quillet_canvas.dll" \
        "$machine64/Quillet.Control.manifest" "$machine64/quillet.tlb" "$machine64/LICENSE.txt" \
        "$machine64/README.txt" "$machine64/examples/Quillet.bas" \
        "$machine64/examples/barcode.asp" "$machine32/quillet.dll" \
        "$machine32/quillet_canvas.dll"; do
      [ -f "$file" ] || { echo "not installed: ${file#$drive/}"; status=1; }
    done
    draw_examples "$machine64" || status=1
    # The installer's rows are what regsvr32 writes: registering the installed DLLs over them
    # changes nothing but the type libraries' HELPDIR, which the installer's folder reference
    # ends with a backslash.
    snapshot "$state/installed" || exit 1
    for dll in quillet.dll quillet_canvas.dll; do
      regsvr 64 "C:\\Program Files\\Quillet\\$dll" &&
        regsvr 32 "C:\\Program Files (x86)\\Quillet\\$dll" || status=1
    done
    snapshot "$state/registered" || exit 1
    for file in "$state/installed"/*.txt; do
      diff <(tr -d '\r' <"$file" | sed 's/^@="\(.*\)\\\\"$/@="\1"/' | grep -v '^@=""$') \
        <(tr -d '\r' <"$state/registered/$(basename "$file")" | grep -v '^@=""$') \
        >"$state/rows.diff" ||
        { echo "the installer's rows differ from regsvr32's: $(basename "$file" .txt)";
          head -20 "$state/rows.diff"; status=1; }
    done

    msiexec /x "$new" || { echo "msiexec /x failed"; exit 1; }
    unchanged_since "$state/before" "$state/after" || status=1
    [ "$(uninstall_entries)" = 0 ] || { echo "still listed as installed"; status=1; }
    for folder in "$machine64" "$machine32"; do
      [ -e "$folder" ] && { echo "left behind: $(find "$folder" | head -5)"; status=1; }
    done
    [ $status -eq 0 ] && echo "all users: upgraded over $(basename "$old"), one registration, the regsvr32 rows, drawn in both bitnesses, uninstalled without a trace"

    msiexec /i "$user" || { echo "msiexec /i $(basename "$user") failed"; exit 1; }
    for file in x64/quillet.dll x64/quillet_canvas.dll x86/quillet.dll x86/quillet_canvas.dll \
        README.txt LICENSE.txt examples/label.vbs; do
      [ -f "$user_folder/$file" ] || { echo "not installed for the user: $file"; status=1; }
    done
    # Wine's COM reads no per-user classes and keeps one view of the user's CLSID keys for both
    # bitnesses (Windows keeps two): the client of the bitness registered last creates the
    # control from the user's registration and draws.
    server=$(quiet "$wine64" reg query \
      'HKCU\Software\Classes\CLSID\{EA9F642B-A95B-428D-9C6F-9E39177B1D3F}\InprocServer32' /ve)
    bits=64 client=$client64
    grep -qi '\\x86\\quillet.dll' <<<"$server" && bits=32 client=$client32
    output=$(quiet "$(loader "$bits")" "$client" user-registered) ||
      { echo "the user's registration does not draw ($bits-bit): $output"; status=1; }
    msiexec /x "$user" || { echo "msiexec /x $(basename "$user") failed"; exit 1; }
    unchanged_since "$state/before" "$state/after-user" || status=1
    [ -e "$user_folder" ] && { echo "left behind: $(find "$user_folder" | head -5)"; status=1; }
    [ $status -eq 0 ] && echo "current user: installed, drawn ($bits-bit), uninstalled without a trace"
    exit $status
    ;;
  peruser)
    bits=$1 dll=$(windows_path "$2") client=$3 script=$4
    use_display
    # Wine registers its script engines' type libraries on their first run: that run comes
    # before the snapshot.
    echo 'WScript.Echo "ready"' >"$state/ready.vbs"
    quiet "$(loader "$bits")" cscript //nologo "$(windows_path "$state/ready.vbs")" >/dev/null
    snapshot "$state/before$bits" || { echo "reg export failed"; exit 1; }
    regsvr "$bits" /n /i:user "$dll" || { echo "regsvr32 /n /i:user failed"; exit 1; }
    status=0
    output=$(quiet "$(loader "$bits")" "$client" user-registered) || status=1
    echo "$output"
    # A script reaches the class only through COM's own lookup by ProgID.
    if grep -q "COM runtime reads the user's classes" <<<"$output"; then
      output=$(quiet "$(loader "$bits")" cscript //nologo "$(windows_path "$script")")
      grep -q "all checks passed" <<<"$output" || { echo "$output" | tail -5; status=1; }
    else
      echo "VBScript left out: CreateObject cannot find a per-user class here"
    fi
    regsvr "$bits" /u /n /i:user "$dll" || { echo "regsvr32 /u /n /i:user failed"; exit 1; }
    unchanged_since "$state/before$bits" "$state/after$bits" || status=1
    [ $status -eq 0 ] && echo "registered for the user, created and drawn, unregistered, registry as before"
    exit $status
    ;;
  *)
    echo "run_wine.sh: unknown command $command" >&2
    exit 64
    ;;
esac

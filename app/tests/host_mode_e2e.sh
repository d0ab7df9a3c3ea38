#!/usr/bin/env bash
# End-to-end host mode under Xvfb. A Tk window ("wish", another process)
# plays the host; the converter is started as the host starts it, with an
# action word and the host window's X id in hex, and is driven with xdotool:
#   1. exportar + a document without lists: the converter's window is a child
#      of the host window (xwininfo -tree); the six tables appear in the
#      working directory; Quadrano.ini beside the executable holds 1.
#   2. exportar + a missing file: -1.    3. importar + a missing file: 0.
#   4. an unknown action word: the window shows inside the host, centred in
#      its client area, and "Salir" closes it: 0. With TQ_SCREENSHOT=file.png
#      the window is also saved as a picture there.
#   5. a handle that names no window: the error report, then stand-alone
#      use (the action still starts, the window stays, no Quadrano.ini).
# The working directory C:\QTEMP is $WINEPREFIX/drive_c/qtemp; WINEPREFIX
# points into a temporary folder. Every wait has a deadline; Xvfb, wish and
# the converter are always ended.
#
# usage: host_mode_e2e.sh CONVERTER GRAB_TOOL FIXTURE_DIR
set -euo pipefail

converter=$1
grab_tool=$2
fixtures=$3
caption='Exportar e importar datos entre Quadrano y Gestaro '
timeout_s=${TQ_E2E_TIMEOUT:-30}

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
log() { echo "-- $*"; }

# Polls a command until it succeeds; its output is printed. Fails at the
# deadline (xdotool's own --sync waits have none).
poll() {
  local what=$1; shift
  local deadline=$((SECONDS + timeout_s)) out
  while ((SECONDS < deadline)); do
    if out=$("$@" 2>/dev/null) && [ -n "$out" ]; then
      echo "$out"
      return 0
    fi
    sleep 0.2
  done
  fail "timed out waiting for $what"
}

visible_window() { xdotool search --onlyvisible --name "^$1\$" | head -n1; }
window_gone() { [ -z "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ] && echo gone; }
process_ended() { kill -0 "$1" 2>/dev/null || echo ended; }

# --- X server on a free display ---------------------------------------------
display_file=$work/display
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" \
  >"$work/xvfb.log" 2>&1 &
pids+=($!)
display_number=$(poll "Xvfb" bash -c "grep -E '^[0-9]+' '$display_file'")
export DISPLAY=:$display_number
log "Xvfb on $DISPLAY"

# --- the host window ----------------------------------------------------------
cat >"$work/host.tcl" <<'TCL'
wm title . "Quadrano"
wm geometry . 900x600+0+0
. configure -background "#336699"
update
puts [winfo id .]
flush stdout
TCL
wish "$work/host.tcl" >"$work/host.id" 2>"$work/wish.log" &
pids+=($!)
host_id=$(poll "the host window" bash -c "grep -E '^0x[0-9a-fA-F]+' '$work/host.id'")
host_hex=$(printf '%X' "$host_id")
log "host window $host_id"

# --- one converter run ----------------------------------------------------------
# Starts the converter from a copy of the executable in a fresh folder (so
# that its Quadrano.ini lands there) with the working folder elsewhere.
start_converter() {
  local case_dir=$1; shift
  mkdir -p "$case_dir/bin" "$case_dir/elsewhere"
  cp "$converter" "$case_dir/bin/TransQuadrixGestaro"
  (cd "$case_dir/elsewhere" &&
    exec "$case_dir/bin/TransQuadrixGestaro" "$@" >"$case_dir/converter.log" 2>&1) &
  converter_pid=$!
  pids+=("$converter_pid")
}

# The converter's window must be a child of the host window.
expect_child_of_host() {
  xwininfo -tree -id "$host_id" | grep -F "\"$caption\"" >/dev/null ||
    fail "the converter's window is not a child of the host window: $(xwininfo -tree -id "$host_id")"
}

# Types PATH into the file dialog; unless "alone" follows, the converter's
# window must be in the host by then.
choose_file() {
  local path=$1 where=${2:-host} dialog
  dialog=$(poll "the file dialog" visible_window "Archivo XML")
  [ "$where" = alone ] || expect_child_of_host
  xdotool windowfocus --sync "$dialog"
  xdotool type --delay 10 -- "$path"
  # The completer's popup can take the first Return; press again while the
  # dialog is still there.
  local tries
  for tries in 1 2 3; do
    xdotool key Return
    if (timeout_s=3 && poll "the dialog to close" window_gone "Archivo XML") >/dev/null 2>&1; then
      return 0
    fi
  done
  fail "the file dialog did not accept $path"
}

dismiss_message() {
  local box
  box=$(poll "the message box" visible_window "TransQuadrixGestaro")
  xdotool windowfocus --sync "$box"
  xdotool key Return
}

# Waits for the converter to end and requires a clean exit (no crash while
# the window is torn down inside the host).
expect_exit() {
  poll "the converter to end" process_ended "$converter_pid" >/dev/null
  local status=0
  wait "$converter_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the converter ended with status $status: $(cat "$1/converter.log")"
}

expect_code() {
  local case_dir=$1 code=$2
  expect_exit "$case_dir"
  local ini=$case_dir/bin/Quadrano.ini
  [ -f "$ini" ] || fail "no $ini"
  grep -qx $'Transformado='"$code"$'\r' "$ini" ||
    fail "$ini holds $(cat -A "$ini"), not $code"
  log "Quadrano.ini holds $code"
}

export WINEPREFIX=$work/prefix
qtemp=$WINEPREFIX/drive_c/qtemp
mkdir -p "$qtemp/gestaro"
cp "$fixtures/sin_listas.xml" "$qtemp/gestaro/servicio.xml"

log "1. exportar, completed"
start_converter "$work/case1" exportar "$host_hex"
choose_file "$qtemp/gestaro/servicio.xml"
dismiss_message  # "Proceso finalizado"
expect_code "$work/case1" 1
for table in ASIGNOMT PROFT AULAT GRUPOST ASIGT DIASHORAST; do
  ls "$qtemp" | grep -qix "$table.dbf" || fail "no table $table in $qtemp: $(ls "$qtemp")"
done

log "2. exportar, no file"
start_converter "$work/case2" EXPORTAR "$host_hex"
choose_file "$work/falta.xml"
dismiss_message  # "No existe archivo"
expect_code "$work/case2" -1

log "3. importar, no file"
start_converter "$work/case3" importar "${host_hex,,}"
choose_file "$work/falta.xml"
dismiss_message  # "No existe archivo"
expect_code "$work/case3" 0

log "4. no action: shown inside the host, closed with Salir"
start_converter "$work/case4" ninguna "$host_hex"
window=$(poll "the converter's window" visible_window "$caption")
expect_child_of_host
geometry=$(xwininfo -id "$window" | awk '/Relative upper-left X/ {x=$4} /Relative upper-left Y/ {y=$4}
  /Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h "+" x "+" y}')
# Centred in the host's 900 x 600 client area.
[ "$geometry" = "632x266+134+167" ] || fail "window at $geometry"
if [ -n "${TQ_SCREENSHOT:-}" ]; then
  "$grab_tool" "$(printf '%x' "$window")" "$TQ_SCREENSHOT"
  log "picture saved to $TQ_SCREENSHOT"
fi
# BClose lies at 256,32 in the bottom band, which starts at 168.
xdotool mousemove --window "$window" 300 212 click 1
expect_code "$work/case4" 0

log "5. a handle that names no window: reported, then stand-alone"
start_converter "$work/case5" exportar 1FFFFFF0
dismiss_message  # the error report names the handle
choose_file "$work/falta.xml" alone
dismiss_message  # "No existe archivo"; stand-alone, the window stays
window=$(poll "the stand-alone window" visible_window "$caption")
xwininfo -tree -id "$host_id" | grep -qF "\"$caption\"" && fail "the window went into the host"
xdotool mousemove --window "$window" 300 212 click 1
expect_exit "$work/case5"
[ ! -e "$work/case5/bin/Quadrano.ini" ] || fail "stand-alone use wrote Quadrano.ini"
log "no Quadrano.ini written"

log "all host-mode cases passed"

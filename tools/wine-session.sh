# The Wine session of the project's scripts: private prefix and home, an own virtual display, Wine set for it.
# Contract: sourced (POSIX sh) by cmake/test-session, cmake/wine-run.in, tools/run-installer, tools/bench/run.
# wine_session_env FOLDER [win64] exports the prefix FOLDER/wineprefix and home FOLDER/home (a 32-bit Windows), or with
# win64 FOLDER/wineprefix64 and FOLDER/home64 (a 64-bit one, where our 32-bit programs run under WoW64); then
# wine_session_virtual WxH (own Xvfb; its trap ends servers and displays at exit) or wine_session_given (the caller's
# DISPLAY). Both may be used in one script, one prefix after the other.

# The prefix's Desktop and Documents link to $HOME: a private home keeps shortcuts out of the real one. The
# architecture is always named: where Debian's wine64 is installed, Wine makes a new prefix 64-bit unless told.
wine_session_env() {
  wine_session_folder=$1
  local suffix=
  [ "${2:-win32}" = win64 ] && suffix=64
  export WINEPREFIX="$1/wineprefix$suffix" HOME="$1/home$suffix" WINEARCH="${2:-win32}" WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$HOME"
}

# Creates the prefix unless its registry is there. The registry files appear only once the server has written
# them out, hence the wait for its end. Seen under the i386 emulator: the first wineboot of a new prefix sometimes
# gave up half way and a second completed it (natively a new prefix takes seconds).
wine_session_prefix() {
  local attempt
  for attempt in 1 2 3; do
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    echo "Creating the Wine prefix $WINEPREFIX (attempt $attempt)" >&2
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
  done
  [ -f "$WINEPREFIX/system.reg" ] || { echo "The Wine prefix could not be created" >&2; return 1; }
}

# The prefixes and displays of this script, ended at its exit: "prefix Xvfb-process" pairs (no blanks in the paths).
wine_session_started=
wine_session_end() {
  set -- $wine_session_started
  while [ $# -ge 2 ]; do
    WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true
    kill "$2" 2>/dev/null || true
    wait "$2" 2>/dev/null || true
    shift 2
  done
}

# An own Xvfb of screen size WxH (it picks a free display and writes its number to a descriptor), the prefix,
# Wine set for a display without a window manager, and a persistent server. 1 when display or prefix fail.
wine_session_virtual() {
  local display_file step
  trap wine_session_end EXIT
  display_file="$WINEPREFIX.display"
  rm -f "$display_file"
  Xvfb -displayfd 5 -screen 0 "${1}x24" -nolisten tcp 5>"$display_file" >/dev/null 2>&1 &
  wine_session_started="$wine_session_started $WINEPREFIX $!"
  for step in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$display_file")"
  wine_session_prefix || return 1
  # One persistent server for the whole session: no program, test or timed run pays for the server's start. One
  # that already runs for this prefix (a session of the developer's own) serves as well.
  wineserver -p >/dev/null 2>&1 || true
  # No window manager runs here; with managed windows Wine waits up to 2 s for one every time a shown window or
  # message box goes away (seen: a message box's answer took 2 s). Unmanaged windows are hidden at once.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 ||
    echo "Wine's windows could not be made unmanaged: every closed window will wait 2 s" >&2
  # A program that crashes without its own filter must fail at once, not sit in Wine's crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  # The prefix's services start now, away from the caller's pipes: a service started by the first program would
  # inherit its output pipe and, with the persistent server, keep it open, so a reader of the pipe waits forever.
  wineboot </dev/null >/dev/null 2>&1 || true
}

# The caller's own display, which has a window manager: the prefix, and Wine's windows managed again (the value
# Managed=N that a session on a virtual display left in this prefix would take the frames off the windows).
wine_session_given() {
  wine_session_prefix || return 1
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f </dev/null >/dev/null 2>&1 || true
}

#!/bin/sh
# A user named Łukasz (letters outside Windows-1252) installs with the shortcut box ticked: the shortcut is on that
# user's own desktop and nowhere else, and the result is the success message.
# Contract: user_name_test.sh BUILD_DIR DRIVER_EXE INSTALLER_EXE; a prefix and home of its own under BUILD_DIR.
set -u
build=$1 driver=$2 installer=$3
# Wine names the profile after USER; LANG makes it read the name as UTF-8.
export WINEPREFIX="$build/wineprefix-user" HOME="$build/home-user" USER='Łukasz' LANG=C.UTF-8
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work="$build/user-scratch"
rm -rf "$WINEPREFIX" "$HOME" "$work"
mkdir -p "$HOME" "$work"
trap 'wineserver -k >/dev/null 2>&1' EXIT
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
win() { printf 'Z:%s' "$1" | tr / '\\'; }
# The default target folder is new in this prefix: the folder question first, answered "Ja".
log=$(wine "$driver" start "$(win "$installer")" "$(win "$work")" window 180000 ready 6 180000 click 5 \
      box 180000 answer 6 box 180000 answer 1 exit 180000 | tr -d '\r')
echo "$log"
status=0
fail() { echo "FAIL $1"; status=1; }
printf '%s\n' "$log" | grep -qF 'box title= Software f\xFCr BrindaVel  text=Die Installation der Software   \x0AVersion V.23 war erfolgreich !    buttons=1:' ||
    fail "no success message"
printf '%s\n' "$log" | grep -qF 'exit code=0' || fail "exit code not 0"
# The profile's desktop is a link into the home folder: the one shortcut file found is the one in it.
desktop="$WINEPREFIX/drive_c/users/Łukasz/Desktop"
found=$(find "$WINEPREFIX" "$HOME" -name BrindaVel.lnk -exec readlink -f {} \;)
[ -f "$desktop/BrindaVel.lnk" ] && [ "$found" = "$(readlink -f "$desktop/BrindaVel.lnk")" ] ||
    fail "shortcut not in $desktop alone; found: $found"
[ $status = 0 ] && echo "ok   the shortcut is on the desktop of Łukasz alone, the installation succeeded"
exit $status

; Peer installer for the benchmark: the same fourteen payload files, stored as they are, into the same layout.
; Contract: makensis -DPAYLOAD=<payload folder> -DOUTFILE=<exe> peer.nsi; run with /S /D=<folder> for a silent install,
; or without switches for the GUI install: directory page, install page that stays on "Completed" until Close.
Unicode false
Name "BrindaVel"
OutFile "${OUTFILE}"
; Stored, not compressed, like our own payload blocks.
SetCompress off
InstallDir "$PROGRAMFILES\BrindaVel"
RequestExecutionLevel admin

Page directory
Page instfiles
; The finished install page waits for its Close button (the default, said here because the GUI run relies on it).
AutoCloseWindow false

Section
  SetOutPath "$INSTDIR\DasyLab"
  File "${PAYLOAD}/Temperatur-1.dsb"
  File "${PAYLOAD}/Temperatur-1'.dsb"
  File "${PAYLOAD}/Temperatur-2.dsb"
  File "${PAYLOAD}/Temperatur-2'.dsb"
  File "${PAYLOAD}/Temperatur-3.dsb"
  File "${PAYLOAD}/Temperatur-3'.dsb"
  File "${PAYLOAD}/Temperatur-4.dsb"
  File "${PAYLOAD}/Temperatur-4'.dsb"
  File "${PAYLOAD}/Temperatur-5.dsb"
  File "${PAYLOAD}/Temperatur-5'.dsb"
  File "${PAYLOAD}/Temperatur-6.dsb"
  File "${PAYLOAD}/Temperatur-6'.dsb"
  SetOutPath "$INSTDIR\Text"
  File "${PAYLOAD}/Notiz.txt"
  ; The shortcut's working folder is the output folder at the time it is made.
  SetOutPath "$INSTDIR"
  File "${PAYLOAD}/Brindavel.exe"
  CreateShortcut "$DESKTOP\BrindaVel.lnk" '"$INSTDIR\Brindavel.exe"' '""' "$INSTDIR\Brindavel.exe" 0 SW_SHOWNORMAL "" "Bedienprogramm für BrindaVel"
SectionEnd

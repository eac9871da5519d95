; installer/files.nsh: what goes into the program folder.
; Each line: !insertmacro ${OP} <folder at build time> <file name> <required|optional>
; An optional file is shipped only when the build produced it.
!macro TorvaneFiles OP
  !insertmacro ${OP} "${BINDIR}" "torvane.exe"      required
  !insertmacro ${OP} "${BINDIR}" "torvane-scan.exe" optional
  !insertmacro ${OP} "${BINDIR}" "fennick.ocx"      required
  !insertmacro ${OP} "${BINDIR}" "Torvane.chm"      required
!macroend

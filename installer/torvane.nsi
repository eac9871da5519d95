; installer/torvane.nsi: Torvane-Setup.exe.
; makensis -DBINDIR=<build>/bin -DVERSION=2.0.0.<build> -DOUTFILE=<setup.exe> torvane.nsi
; A 64-bit installer: the program and fennick.ocx are 64-bit, so registering the control in-process
; and writing the registry need no redirection tricks (and Wine without wine32 can run it).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef BINDIR
  !error "BINDIR (folder of the built files) is missing"
!endif
!ifndef VERSION
  !define VERSION "2.0.0.0"
!endif
!ifndef OUTFILE
  !define OUTFILE "${BINDIR}/Torvane-Setup.exe"
!endif

!define PRODUCT     "Torvane"
!define DISPLAYNAME "Torvane 2.0"
!define PUBLISHER   "Torvane"
!define UNINST_KEY  "Software\Microsoft\Windows\CurrentVersion\Uninstall\Torvane"
!define SETTINGS    "Software\Torvane\Optionen"
!define UNINSTALLER "uninstall.exe"
; The program holds this mutex while it runs.
!define RUN_MUTEX   "Local\Torvane.SingleInstance"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "files.nsh"

Name "${DISPLAYNAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1031 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1031 "FileDescription" "Torvane Setup"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "© ${PUBLISHER}"

!define MUI_ICON   "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\torvane.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

; --- the file list, applied twice: once to ship, once to remove
!macro InstallFile DIR NAME KIND
  !if /FileExists "${DIR}/${NAME}"
    File "${DIR}/${NAME}"
  !else if "${KIND}" == "required"
    !error "${DIR}/${NAME} is missing: build it first"
  !endif
!macroend
!macro RemoveFile DIR NAME KIND
  Delete "$INSTDIR\${NAME}"
!macroend

; Sets $0 to 1 while Torvane runs: files in use cannot be replaced or removed.
!macro ProgramRunning
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUN_MUTEX}") p .r1'
  ${If} $1 P<> 0
    System::Call 'kernel32::CloseHandle(p r1)'
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${PRODUCT} benötigt ein 64-Bit-Windows." /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
  !insertmacro ProgramRunning
  ${If} $0 = 1
    MessageBox MB_ICONSTOP "${PRODUCT} läuft noch. Beenden Sie das Programm und starten Sie die Installation erneut." /SD IDOK
    SetErrorLevel 4
    Abort
  ${EndIf}
FunctionEnd

Section "Torvane" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  SetOverwrite on
  !insertmacro TorvaneFiles InstallFile
  ; The help's pages beside the help file, for the browser where the help viewer cannot show them.
  SetOutPath "$INSTDIR\html"
  File "${BINDIR}/html/*.html"
  File "${BINDIR}/html/*.css"
  SetOutPath "$INSTDIR"

  ; The assistant's characters, in the folder the program lists them from.
  SetOutPath "$WINDIR\msagent\chars"
  File "${BINDIR}/chars/Merlin.acs"
  File "${BINDIR}/chars/Robby.acs"
  SetOutPath "$INSTDIR"

  ; The program finds its folder (log, backup folder, help) through this setting of the installing user.
  WriteRegStr HKCU "${SETTINGS}" "InstallDir" "$INSTDIR\"

  ; fennick.ocx is 64-bit like this installer, so it registers in-process.
  ClearErrors
  RegDLL "$INSTDIR\fennick.ocx"
  ${If} ${Errors}
    DetailPrint "fennick.ocx konnte nicht registriert werden."
    MessageBox MB_ICONEXCLAMATION "Die Komponente fennick.ocx konnte nicht registriert werden.$\r$\nTorvane versucht es beim Start erneut." /SD IDOK
    SetErrorLevel 5
  ${EndIf}

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\torvane.exe" "" "$INSTDIR\torvane.exe" 0
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Hilfe.lnk" "$INSTDIR\Torvane.chm"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} deinstallieren.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayName"     "${DISPLAYNAME}"
  WriteRegStr   HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr   HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayIcon"     "$INSTDIR\torvane.exe,0"
  WriteRegStr   HKLM "${UNINST_KEY}" "DisplayVersion"  "${VERSION}"
  WriteRegStr   HKLM "${UNINST_KEY}" "Publisher"       "${PUBLISHER}"
  WriteRegStr   HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  !insertmacro ProgramRunning
  ${If} $0 = 1
    MessageBox MB_ICONSTOP "${PRODUCT} läuft noch. Beenden Sie das Programm und starten Sie die Deinstallation erneut." /SD IDOK
    SetErrorLevel 4
    Abort
  ${EndIf}
FunctionEnd

; Removes what the installer laid down. The backup folder with the undo files, the protocol log
; and the folder list belong to the user and stay; the folder itself goes only when it is empty.
Section "Uninstall"
  ClearErrors
  UnRegDLL "$INSTDIR\fennick.ocx"
  ${If} ${Errors}
    DetailPrint "fennick.ocx konnte nicht abgemeldet werden."
  ${EndIf}

  !insertmacro TorvaneFiles RemoveFile
  Delete "$WINDIR\msagent\chars\Merlin.acs"
  Delete "$WINDIR\msagent\chars\Robby.acs"
  RMDir "$WINDIR\msagent\chars"
  RMDir "$WINDIR\msagent"
  ; The help's pages by their kinds; anything else in that folder stays with it.
  Delete "$INSTDIR\html\*.html"
  Delete "$INSTDIR\html\*.css"
  RMDir "$INSTDIR\html"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} Hilfe.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} deinstallieren.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  DeleteRegKey HKLM "${UNINST_KEY}"
  ; Only the folder setting the installer wrote; the user's other settings stay. Another
  ; installation's folder is left alone.
  ReadRegStr $0 HKCU "${SETTINGS}" "InstallDir"
  ${If} $0 == "$INSTDIR\"
  ${OrIf} $0 == "$INSTDIR"
    DeleteRegValue HKCU "${SETTINGS}" "InstallDir"
  ${EndIf}
SectionEnd

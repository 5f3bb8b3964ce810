; The Windows installer: per user (no administrator rights), into the user's own programs
; folder, a Start-menu shortcut, an optional desktop one, .cards files opening in the program,
; and an uninstaller listed among the installed programs. /S installs silently.
; makensis -DVERSION=... -DSTAGE=<program folder> -DICON=<.ico> -DOUTFILE=<setup.exe>
; A 64-bit installer for a 64-bit program (and wine64 runs it with no 32-bit wine).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define NAME "Tavrick Cards"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TavrickCards"
!define CARDS_CLASS "Software\Classes\TavrickCards.Program"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "FileDescription" "${NAME} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "See licences\ in the program folder"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tavrick-cards.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetShellVarContext current
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "${NAME}" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}/tavrick-cards.exe"
  File "${STAGE}/README.txt"
  SetOutPath "$INSTDIR\res"
  File "${STAGE}/res/*.png"
  File "${STAGE}/res/*.wav"
  SetOutPath "$INSTDIR\fonts"
  File "${STAGE}/fonts/*"
  SetOutPath "$INSTDIR\licences"
  File "${STAGE}/licences/*"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/locale"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\tavrick-cards.exe"

  WriteRegStr HKCU "Software\Classes\.cards" "" "TavrickCards.Program"
  WriteRegStr HKCU "${CARDS_CLASS}" "" "Card program"
  WriteRegStr HKCU "${CARDS_CLASS}\DefaultIcon" "" "$INSTDIR\tavrick-cards.exe,0"
  WriteRegStr HKCU "${CARDS_CLASS}\shell\open\command" "" '"$INSTDIR\tavrick-cards.exe" "%1"'

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavrick-cards.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Desktop shortcut" SecDesktop
  CreateShortcut "$DESKTOP\${NAME}.lnk" "$INSTDIR\tavrick-cards.exe"
SectionEnd

; Exactly what was installed; the child's programs and settings (in %APPDATA%) stay.
Section "Uninstall"
  Delete "$INSTDIR\tavrick-cards.exe"
  Delete "$INSTDIR\README.txt"
  RMDir /r "$INSTDIR\res"
  RMDir /r "$INSTDIR\fonts"
  RMDir /r "$INSTDIR\licences"
  RMDir /r "$INSTDIR\locale"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$DESKTOP\${NAME}.lnk"
  ReadRegStr $0 HKCU "Software\Classes\.cards" ""
  StrCmp $0 "TavrickCards.Program" 0 +2
    DeleteRegKey HKCU "Software\Classes\.cards"
  DeleteRegKey HKCU "${CARDS_CLASS}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

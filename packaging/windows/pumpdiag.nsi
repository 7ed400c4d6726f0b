; The Windows installer: the program, the companion, the catalogs and the
; shipped data files into Program Files; a Start menu shortcut that starts the
; program in the user's working folder (the program makes and fills it on the
; first start, never overwriting); an uninstaller in the system's list of
; programs, which leaves every user's working folder alone.
; makensis -DVERSION=x.y.z -DSTAGE=<staged files> -DOUTFILE=<setup.exe> pumpdiag.nsi
; A 64-bit installer: the program is 64-bit, and so it runs where only 64-bit
; Windows programs run.
Target amd64-unicode
SetCompressor /SOLID lzma

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\pumpdiag"
Name "pumpdiag ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\pumpdiag"
RequestExecutionLevel admin
Icon "${STAGE}\pumpdiag.ico"
UninstallIcon "${STAGE}\pumpdiag.ico"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  ; The shortcut goes to every user's Start menu, as the program goes to Program Files.
  SetShellVarContext all
FunctionEnd

Section "pumpdiag"
  SetOutPath "$INSTDIR"
  File "${STAGE}\pumpdiag.exe"
  File "${STAGE}\pumpdiag-cli.exe"
  File /r "${STAGE}\locale"
  File /r "${STAGE}\data"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\pumpdiag.lnk" "$INSTDIR\pumpdiag.exe" "--user-folder" "$INSTDIR\pumpdiag.exe" 0
  WriteRegStr HKLM "${KEY}" "DisplayName" "pumpdiag"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\pumpdiag.exe"
  WriteRegStr HKLM "${KEY}" "Publisher" "PD team"
  WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; Only what the installer put there: the users' working folders keep their
; edited captions, help texts and port.ini.
Section "Uninstall"
  Delete "$SMPROGRAMS\pumpdiag.lnk"
  Delete "$INSTDIR\pumpdiag.exe"
  Delete "$INSTDIR\pumpdiag-cli.exe"
  RMDir /r "$INSTDIR\locale"
  RMDir /r "$INSTDIR\data"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${KEY}"
SectionEnd

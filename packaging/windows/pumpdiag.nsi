; The Windows installer: the program, the companion, the catalogs and the
; shipped data files, for all users (Program Files, the machine's list of
; programs; needs administrator rights) or for the current user only
; (%LOCALAPPDATA%\Programs, the user's list of programs; needs no rights); a
; Start menu shortcut that starts the program in the user's working folder
; (the program makes and fills it on the first start, never overwriting); an
; uninstaller, which leaves every user's working folder alone.
;
; Pages and messages in Russian or English, after the user's language.
; Command line: /S silent; /ALLUSERS or /CURRENTUSER chooses the install
; (without either: all users when started with administrator rights, else the
; current user); /D=folder as usual. The uninstaller takes /S, /ALLUSERS and
; /CURRENTUSER too.
; A running program (its mark, or one of its files that cannot be replaced)
; stops the install before anything is copied: asked to close it (Retry or
; Cancel), or, silent, the installer ends with exit code 2. A silent install
; for all users without administrator rights ends with exit code 740.
;
; makensis -DVERSION=x.y.z -DSTAGE=<staged files> -DOUTFILE=<setup.exe> pumpdiag.nsi
; A 64-bit installer: the program is 64-bit, and so it runs where only 64-bit
; Windows programs run.
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\pumpdiag"
; The mark the running program holds (app/win32/running_mark.h).
!define MARK "pumpdiag-running"
!define ERROR_ELEVATION_REQUIRED 740

Name "pumpdiag ${VERSION}"
OutFile "${OUTFILE}"
; Nothing is asked at start: the all-users install asks for the rights when chosen.
RequestExecutionLevel user
; A file that cannot be written ends the install instead of being skipped.
AllowSkipFiles off

!define MUI_ICON "${STAGE}\pumpdiag.ico"
!define MUI_UNICON "${STAGE}\pumpdiag.ico"

Var Mode          ; AllUsers or CurrentUser
Var ModeGiven     ; 1 when the command line chose the mode
Var Admin         ; 1 when running with administrator rights
Var DirGiven      ; 1 when /D chose the folder
Var AllUsersButton
Var CurrentUserButton

Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The language files' texts of the choice between all users and the current user.
!define MULTIUSER_INSTALLMODEPAGE
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

LangString AllUsersChoice ${LANG_ENGLISH} "For all users of this computer (asks for administrator rights)"
LangString AllUsersChoice ${LANG_RUSSIAN} "Для всех пользователей компьютера (нужны права администратора)"
LangString CurrentUserChoice ${LANG_ENGLISH} "Only for me (no administrator rights needed)"
LangString CurrentUserChoice ${LANG_RUSSIAN} "Только для меня (права администратора не нужны)"
LangString NeedsAdmin ${LANG_ENGLISH} "An installation for all users needs administrator rights. Choose the installation for yourself only, or start the installer as administrator."
LangString NeedsAdmin ${LANG_RUSSIAN} "Для установки для всех пользователей нужны права администратора. Выберите установку только для себя или запустите установщик от имени администратора."
LangString RunningInstall ${LANG_ENGLISH} "pumpdiag is running. Close every pumpdiag window and pumpdiag-cli, then press Retry.$\r$\n$\r$\nCancel stops the installation; nothing has been changed."
LangString RunningInstall ${LANG_RUSSIAN} "Программа pumpdiag запущена. Закройте все окна pumpdiag и pumpdiag-cli и нажмите «Повторить».$\r$\n$\r$\n«Отмена» прерывает установку; ничего не изменено."
LangString RunningUninstall ${LANG_ENGLISH} "pumpdiag is running. Close every pumpdiag window and pumpdiag-cli, then press Retry.$\r$\n$\r$\nCancel stops the removal; nothing has been removed."
LangString RunningUninstall ${LANG_RUSSIAN} "Программа pumpdiag запущена. Закройте все окна pumpdiag и pumpdiag-cli и нажмите «Повторить».$\r$\n$\r$\n«Отмена» прерывает удаление; ничего не удалено."
LangString StillRunning ${LANG_ENGLISH} "pumpdiag is running: nothing was changed."
LangString StillRunning ${LANG_RUSSIAN} "Программа pumpdiag запущена: ничего не изменено."

; $0 = 1 when the mark NAME is there.
!macro MARK_THERE NAME
  System::Call 'kernel32::OpenMutexW(i 0x100000, i 0, w "${NAME}") p .r2 ?e'
  Pop $3
  ${If} $2 != 0
    System::Call 'kernel32::CloseHandle(p r2)'
    StrCpy $0 1
  ${ElseIf} $3 = 5 ; ERROR_ACCESS_DENIED: there, and another user's
    StrCpy $0 1
  ${EndIf}
!macroend

; $0 = 1 when FILE is there and cannot be opened for writing.
!macro FILE_IN_USE FILE
  ${If} ${FileExists} "${FILE}"
    ClearErrors
    FileOpen $3 "${FILE}" a
    ${If} ${Errors}
      StrCpy $0 1
    ${Else}
      FileClose $3
    ${EndIf}
  ${EndIf}
!macroend

; What the installer and the uninstaller share, each under its own prefix.
!macro SHARED PREFIX
; $Admin from the account the installer runs under.
Function ${PREFIX}ReadRights
  UserInfo::GetAccountType
  Pop $0
  StrCpy $Admin 0
  ${If} $0 == "Admin"
    StrCpy $Admin 1
  ${EndIf}
FunctionEnd

; $Mode and $ModeGiven from /ALLUSERS or /CURRENTUSER.
Function ${PREFIX}ReadModeOption
  StrCpy $ModeGiven 0
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CURRENTUSER" $2
  ${IfNot} ${Errors}
    StrCpy $Mode CurrentUser
    StrCpy $ModeGiven 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/ALLUSERS" $2
  ${IfNot} ${Errors}
    StrCpy $Mode AllUsers
    StrCpy $ModeGiven 1
  ${EndIf}
FunctionEnd

; For all users without the rights: a new installer, started with them
; (Windows asks for them) and with these arguments ($0), does the work, and
; this one ends. Silent, where nobody is there to ask, or when the rights are
; refused, it comes back with the error flag set.
Function ${PREFIX}RunWithRights
  ${If} ${Silent}
    SetErrors
    Return
  ${EndIf}
  HideWindow
  ClearErrors
  ExecShellWait "runas" "$EXEPATH" "$0"
  ${IfNot} ${Errors}
    Quit
  ${EndIf}
  ShowWindow $HWNDPARENT ${SW_SHOW}
  MessageBox MB_OK|MB_ICONSTOP "$(NeedsAdmin)"
  SetErrors
FunctionEnd

; Ends where the rights for all users could not be had.
Function ${PREFIX}QuitWithoutRights
  SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
  Quit
FunctionEnd

; The shortcut and the registry entry of the mode: every user's for all
; users, the user's own else.
Function ${PREFIX}UseContext
  ${If} $Mode == AllUsers
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; $0 = 1 when the program runs: its mark is there, in any session or in this
; one (one that cannot be opened is there too), or a program file in
; $INSTDIR cannot be opened for writing, as a running program's cannot.
Function ${PREFIX}ProgramRunning
  StrCpy $0 0
  !insertmacro MARK_THERE "Global\${MARK}"
  !insertmacro MARK_THERE "Local\${MARK}"
  !insertmacro FILE_IN_USE "$INSTDIR\pumpdiag.exe"
  !insertmacro FILE_IN_USE "$INSTDIR\pumpdiag-cli.exe"
FunctionEnd

; Before anything is changed: while the program runs, asks to close it
; (Retry looks again); Cancel, or a silent run, ends here with exit code 2.
Function ${PREFIX}WaitForProgramClosed
  ${Do}
    Call ${PREFIX}ProgramRunning
    ${If} $0 = 0
      Return
    ${EndIf}
    !ifdef __UNINSTALL__
      !define /ReDef RUNNING_TEXT "$(RunningUninstall)"
    !else
      !define /ReDef RUNNING_TEXT "$(RunningInstall)"
    !endif
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${RUNNING_TEXT}" /SD IDCANCEL IDRETRY`
      DetailPrint "$(StillRunning)"
      Abort "$(StillRunning)"
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend

!insertmacro SHARED ""
!insertmacro SHARED "un."

; The folder of the mode, unless /D chose one.
Function UseFolder
  ${If} $DirGiven = 1
    Return
  ${EndIf}
  ${If} $Mode == AllUsers
    StrCpy $INSTDIR "$PROGRAMFILES64\pumpdiag"
  ${Else}
    GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB} ; the user's program files
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
    ${EndIf}
    StrCpy $INSTDIR "$INSTDIR\pumpdiag"
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  StrCpy $DirGiven 0
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  Call ReadRights
  ${If} $Admin = 1
    StrCpy $Mode AllUsers
  ${Else}
    StrCpy $Mode CurrentUser
  ${EndIf}
  Call ReadModeOption
  ${If} $Mode == AllUsers
  ${AndIf} $Admin = 0
    ${GetParameters} $0
    Call RunWithRights
    Call QuitWithoutRights
  ${EndIf}
  Call UseContext
  Call UseFolder
FunctionEnd

; Shown only when the command line chose no mode.
Function ModePage
  ${If} $ModeGiven = 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "$(MULTIUSER_TEXT_INSTALLMODE_TITLE)" "$(MULTIUSER_TEXT_INSTALLMODE_SUBTITLE)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 40u "$(MULTIUSER_INNERTEXT_INSTALLMODE_TOP)"
  Pop $0
  ${NSD_CreateRadioButton} 15u 50u -15u 12u "$(AllUsersChoice)"
  Pop $AllUsersButton
  ${NSD_CreateRadioButton} 15u 70u -15u 12u "$(CurrentUserChoice)"
  Pop $CurrentUserButton
  ${If} $Mode == AllUsers
    ${NSD_Check} $AllUsersButton
  ${Else}
    ${NSD_Check} $CurrentUserButton
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $AllUsersButton $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $Mode AllUsers
    ${If} $Admin = 0
      StrCpy $0 "/ALLUSERS"
      ; Refused: the choice stays open.
      Call RunWithRights
      Abort
    ${EndIf}
  ${Else}
    StrCpy $Mode CurrentUser
  ${EndIf}
  Call UseContext
  Call UseFolder
FunctionEnd

Section "pumpdiag"
  Call WaitForProgramClosed
  SetOutPath "$INSTDIR"
  File "${STAGE}\pumpdiag.exe"
  File "${STAGE}\pumpdiag-cli.exe"
  File /r "${STAGE}\locale"
  File /r "${STAGE}\data"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\pumpdiag.lnk" "$INSTDIR\pumpdiag.exe" "--user-folder" "$INSTDIR\pumpdiag.exe" 0
  ; SHCTX: the machine's list for all users, the user's own else.
  WriteRegStr SHCTX "${KEY}" "DisplayName" "pumpdiag"
  WriteRegStr SHCTX "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${KEY}" "DisplayIcon" "$INSTDIR\pumpdiag.exe"
  WriteRegStr SHCTX "${KEY}" "Publisher" "PD team"
  WriteRegStr SHCTX "${KEY}" "InstallLocation" "$INSTDIR"
  ${If} $Mode == AllUsers
    StrCpy $0 "/ALLUSERS"
  ${Else}
    StrCpy $0 "/CURRENTUSER"
  ${EndIf}
  WriteRegStr SHCTX "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $0'
  WriteRegStr SHCTX "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" $0 /S'
  WriteRegDWORD SHCTX "${KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${KEY}" "NoRepair" 1
  ; In KiB, as the list of programs reads it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
  Call un.ReadRights
  Call un.ReadModeOption
  ; Started without a mode (from its folder): the machine's entry names this
  ; folder, in long or short names, when it was installed for all users.
  ${If} $ModeGiven = 0
    ReadRegStr $0 HKLM "${KEY}" "InstallLocation"
    GetFullPathName /SHORT $0 $0
    GetFullPathName /SHORT $1 $INSTDIR
    ${If} $0 != ""
    ${AndIf} $0 == $1
      StrCpy $Mode AllUsers
    ${Else}
      StrCpy $Mode CurrentUser
    ${EndIf}
  ${EndIf}
  ${If} $Mode == AllUsers
  ${AndIf} $Admin = 0
    ; The uninstaller runs from a copy of itself; _?= names its folder.
    StrCpy $0 "/ALLUSERS _?=$INSTDIR"
    Call un.RunWithRights
    Call un.QuitWithoutRights
  ${EndIf}
  Call un.UseContext
FunctionEnd

; Only what the installer put there: the users' working folders keep their
; edited captions, help texts and port.ini.
Section "Uninstall"
  Call un.WaitForProgramClosed
  Delete "$SMPROGRAMS\pumpdiag.lnk"
  Delete "$INSTDIR\pumpdiag.exe"
  Delete "$INSTDIR\pumpdiag-cli.exe"
  RMDir /r "$INSTDIR\locale"
  RMDir /r "$INSTDIR\data"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${KEY}"
SectionEnd

; The Nocturo setup program for 64-bit Windows, built on Linux with makensis
; from a staged install of the cross build. scripts/package-windows stages
; the files, writes the list of them (FILES) and passes the defines below.
;
; Install: for the current user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Nocturo (the default); or for all users into
; Program Files, which needs an administrator (the first page, or /ALLUSERS).
;   setup.exe [/S] [/CURRENTUSER | /ALLUSERS [/SERVICE]] [/D=folder]
;   /S silent; /SERVICE also installs the Windows service (all users only);
;   /D= names the folder and must come last, unquoted.
; Uninstall: uninstall.exe in the program folder, or the system's list of
; installed programs.
;   uninstall.exe [/S] [/PURGE]
;   /PURGE also removes the settings and the logs, which stay otherwise.
;
; Exit codes besides NSIS's own (0 done, 1 cancelled, 2 aborted): 740 for
; a silent run that needs administrator rights it does not have.

!ifndef VERSION
  !error "VERSION is not defined (makensis -DVERSION=1.0.0)"
!endif
!ifndef STAGE
  !error "STAGE is not defined: the folder the programs were installed to (cmake --install)"
!endif
!ifndef FILES
  !error "FILES is not defined: the list of staged files (scripts/package-windows writes it)"
!endif
!ifndef OUTFILE
  !define OUTFILE "nocturo-${VERSION}-setup.exe"
!endif
!ifndef SIZE_KB
  !define SIZE_KB 0
!endif
; The service's name as the program registers it with the service manager.
!ifndef SERVICE_NAME
  !error "SERVICE_NAME is not defined: the program's Windows service name"
!endif

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define APP "Nocturo"
!define PUBLISHER "Varn"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
; Start at login: a value named after the program under a Run key (the
; machine's, or the user's for a copy that cannot write the machine's).
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\Varn\${APP}"
!define MAKER_KEY "Software\Varn"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\${SERVICE_NAME}"
; What the uninstaller needs to know about this install, beside it.
!define RECORD "uninstall.ini"

Name "${APP}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

Var AllUsers        ; 1: the install for every user (Program Files, HKLM)
Var ModeChosen      ; 1: /ALLUSERS or /CURRENTUSER said which: no mode page
Var DirGiven        ; the folder /D= named, if any
Var WantService     ; 1: install the Windows service after the files
Var RadioMe
Var RadioAll

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING

Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\nocturo.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APP}"
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Run ${APP} as a Windows service"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION FinishInstallService
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---- helpers shared by setup and uninstaller --------------------------------

; Sets $0 to 1 when the process has administrator rights, else 0.
!macro IS_ADMIN_FUNCTION PREFIX
Function ${PREFIX}IsAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro IS_ADMIN_FUNCTION ""
!insertmacro IS_ADMIN_FUNCTION "un."

; Whether the program path in $R0 (a command line; a leading quote is
; skipped) lies in $INSTDIR: $R1 is 1 or 0. Windows paths compare without
; case, as StrCmp does.
!macro IN_INSTDIR_FUNCTION PREFIX
Function ${PREFIX}InInstDir
  Push $R2
  Push $R3
  StrCpy $R2 $R0 1
  ${If} $R2 == '"'
    StrCpy $R2 $R0 "" 1
  ${Else}
    StrCpy $R2 $R0
  ${EndIf}
  StrLen $R3 "$INSTDIR\"
  StrCpy $R2 $R2 $R3
  ${If} $R2 == "$INSTDIR\"
    StrCpy $R1 1
  ${Else}
    StrCpy $R1 0
  ${EndIf}
  Pop $R3
  Pop $R2
FunctionEnd
!macroend
!insertmacro IN_INSTDIR_FUNCTION "un."

; Waits until no program of the folder runs: a running program's file
; cannot be opened for writing. Silent runs give up at once (exit code 2).
!macro PROGRAMS_CLOSED_FUNCTION PREFIX
Function ${PREFIX}ProgramsClosed
  Push $0
  Push $1
  Push $2
  retry:
  FindFirst $0 $1 "$INSTDIR\bin\*.*"
  ${DoWhile} $1 != ""
    ${If} $1 != "."
    ${AndIf} $1 != ".."
      ClearErrors
      FileOpen $2 "$INSTDIR\bin\$1" a
      ${If} ${Errors}
        FindClose $0
        DetailPrint "$INSTDIR\bin\$1 is in use: end ${APP} first."
        SetErrorLevel 2
        ${IfNot} ${Silent}
          MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${APP} is running ($1).$\r$\nEnd it (Exit Program, or the tray menu's Exit) and click Retry." IDRETRY retry
        ${EndIf}
        Abort
      ${EndIf}
      FileClose $2
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro PROGRAMS_CLOSED_FUNCTION ""
!insertmacro PROGRAMS_CLOSED_FUNCTION "un."

; ---- the files --------------------------------------------------------------

; A folder of the program, made when missing; the record names the folders
; made here, so that the uninstaller removes those and no other.
!macro NOCTURO_FOLDER REL
  ${IfNot} ${FileExists} "$INSTDIR\${REL}\*.*"
    CreateDirectory "$INSTDIR\${REL}"
    WriteINIStr "$INSTDIR\${RECORD}" "Created" "${REL}" "1"
  ${EndIf}
!macroend

; Removes a folder the installer made, when it is empty.
!macro NOCTURO_REMOVE_FOLDER REL
  ReadINIStr $0 "$INSTDIR\${RECORD}" "Created" "${REL}"
  ${If} $0 == "1"
    RMDir "$INSTDIR\${REL}"
  ${EndIf}
!macroend

!include "${FILES}"

; ---- install ----------------------------------------------------------------

Function .onInit
  StrCpy $AllUsers 0
  StrCpy $ModeChosen 0
  StrCpy $WantService 0
  StrCpy $DirGiven $INSTDIR
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    StrCpy $ModeChosen 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
    StrCpy $ModeChosen 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/SERVICE" $R1
  ${IfNot} ${Errors}
    StrCpy $WantService 1
  ${EndIf}
  ${If} $AllUsers == 1
    Call IsAdmin
    ${If} $0 != 1
      ${If} ${Silent}
        SetErrorLevel 740
        Quit
      ${EndIf}
      Call RunAsAdmin
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "The install for all users needs administrator rights, which were not given."
      ${EndIf}
      Quit
    ${EndIf}
  ${EndIf}
  Call SetMode
FunctionEnd

; Starts this setup again with administrator rights, for all users. Returns
; with the error flag set when the system did not start it.
Function RunAsAdmin
  ClearErrors
  ${If} $DirGiven != ""
    ExecShell "runas" "$EXEPATH" "/ALLUSERS /D=$DirGiven"
  ${Else}
    ExecShell "runas" "$EXEPATH" "/ALLUSERS"
  ${EndIf}
FunctionEnd

; The shell folders and the default folder of the chosen mode. A folder
; given with /D= stays; otherwise an earlier install of the same mode is
; installed over where it is.
Function SetMode
  ${If} $AllUsers == 1
    SetShellVarContext all
    ReadRegStr $R0 HKLM "${UNINST_KEY}" "InstallLocation"
    StrCpy $R1 "$PROGRAMFILES64\${APP}"
  ${Else}
    SetShellVarContext current
    ReadRegStr $R0 HKCU "${UNINST_KEY}" "InstallLocation"
    StrCpy $R1 "$LOCALAPPDATA\Programs\${APP}"
  ${EndIf}
  ${If} $DirGiven != ""
    StrCpy $INSTDIR $DirGiven
  ${ElseIf} $R0 != ""
    StrCpy $INSTDIR $R0
  ${Else}
    StrCpy $INSTDIR $R1
  ${EndIf}
FunctionEnd

Function ModePage
  ${If} $ModeChosen == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Who uses ${APP}?" "Install ${APP} for yourself or for every user of this computer."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 10u 100% 12u "Only for me (recommended; no administrator rights needed)"
  Pop $RadioMe
  ${NSD_CreateLabel} 12u 24u -12u 20u "Into your own programs folder ($LOCALAPPDATA\Programs)."
  Pop $0
  ${NSD_CreateRadioButton} 0 52u 100% 12u "For all users of this computer (needs administrator rights)"
  Pop $RadioAll
  ${NSD_CreateLabel} 12u 66u -12u 20u "Into Program Files; can also run ${APP} as a Windows service."
  Pop $0
  ${If} $AllUsers == 1
    ${NSD_Check} $RadioAll
  ${Else}
    ${NSD_Check} $RadioMe
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $RadioAll $0
  ${If} $0 == ${BST_CHECKED}
    Call IsAdmin
    ${If} $0 != 1
      Call RunAsAdmin
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "The install for all users needs administrator rights, which were not given."
        Abort
      ${EndIf}
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call SetMode
FunctionEnd

; The service is offered to the install for all users only.
Function FinishShow
  ${If} $AllUsers != 1
    ShowWindow $mui.FinishPage.ShowReadme ${SW_HIDE}
    ${NSD_Uncheck} $mui.FinishPage.ShowReadme
  ${Else}
    ; A program of an administrator's setup would run with its rights.
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${NSD_Uncheck} $mui.FinishPage.Run
  ${EndIf}
FunctionEnd

Function FinishInstallService
  Call InstallService
  ${If} $0 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "The service was not installed (exit code $0). Try it in ${APP}'s options, or: nocturoctl service install"
  ${EndIf}
FunctionEnd

; The program installs its service itself; $0 is nocturoctl's exit code.
Function InstallService
  DetailPrint "Installing the Windows service ${SERVICE_NAME}"
  nsExec::ExecToLog '"$INSTDIR\bin\nocturoctl.exe" service install'
  Pop $0
FunctionEnd

!macro WRITE_UNINSTALL_ENTRY ROOT
  WriteRegStr ${ROOT} "${UNINST_KEY}" "DisplayName" "${APP}"
  WriteRegStr ${ROOT} "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr ${ROOT} "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr ${ROOT} "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr ${ROOT} "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr ${ROOT} "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr ${ROOT} "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\bin\nocturo.exe,0"
  WriteRegDWORD ${ROOT} "${UNINST_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD ${ROOT} "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD ${ROOT} "${UNINST_KEY}" "NoRepair" 1
!macroend

Section "${APP}" SecMain
  SectionIn RO
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    CreateDirectory "$INSTDIR"
    ${IfNot} ${FileExists} "$INSTDIR\*.*"
      DetailPrint "Cannot make the folder $INSTDIR."
      Abort
    ${EndIf}
    WriteINIStr "$INSTDIR\${RECORD}" "Created" "." "1"
  ${EndIf}
  ; Over an earlier install: its programs must not run.
  ${If} ${FileExists} "$INSTDIR\bin\*.*"
    Call ProgramsClosed
  ${EndIf}
  WriteINIStr "$INSTDIR\${RECORD}" "Install" "AllUsers" "$AllUsers"
  !insertmacro NOCTURO_INSTALL_FILES
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetOutPath "$INSTDIR\bin"
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\bin\nocturo.exe" "" "$INSTDIR\bin\nocturo.exe" 0 \
      SW_SHOWNORMAL "" "Shut down, restart or sleep the computer at a chosen time"

  ${If} $AllUsers == 1
    !insertmacro WRITE_UNINSTALL_ENTRY HKLM
  ${Else}
    !insertmacro WRITE_UNINSTALL_ENTRY HKCU
  ${EndIf}

  ${If} $WantService == 1
    ${If} $AllUsers == 1
      Call InstallService
      ${If} $0 != 0
        DetailPrint "The service was not installed (nocturoctl exit code $0)."
        SetErrorLevel 3
      ${EndIf}
    ${Else}
      DetailPrint "/SERVICE is for the install for all users (/ALLUSERS): no service installed."
    ${EndIf}
  ${EndIf}
SectionEnd


; ---- uninstall --------------------------------------------------------------


; The Windows service, when the program installed it from this folder:
; removed by the program's own command, else by the service manager's tool.
Function un.RemoveService
  ClearErrors
  ReadRegStr $R0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${If} ${Errors}
  ${OrIf} $R0 == ""
    Return
  ${EndIf}
  Call un.InInstDir
  ${If} $R1 != 1
    DetailPrint "The service ${SERVICE_NAME} runs another program ($R0): left as it is."
    Return
  ${EndIf}
  Call un.IsAdmin
  ${If} $0 != 1
    ${IfNot} ${Silent}
      MessageBox MB_OK|MB_ICONSTOP "${APP} runs as the Windows service ${SERVICE_NAME} from this folder.$\r$\nRemoving the service needs administrator rights: run this uninstaller as an administrator."
    ${EndIf}
    DetailPrint "The service ${SERVICE_NAME} runs from this folder and needs an administrator to remove it."
    SetErrorLevel 740
    Abort
  ${EndIf}
  DetailPrint "Removing the Windows service ${SERVICE_NAME}"
  ; A service that is still starting (or stopping) takes no stop: again
  ; after a second, for up to half a minute.
  StrCpy $R2 0
  ${Do}
    nsExec::ExecToLog '"$INSTDIR\bin\nocturoctl.exe" service uninstall'
    Pop $0
    ClearErrors
    ReadRegStr $R0 HKLM "${SERVICE_KEY}" "ImagePath"
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
    ${If} $R2 >= 30
      ${Break}
    ${EndIf}
    Sleep 1000
  ${Loop}
  ClearErrors
  ReadRegStr $R0 HKLM "${SERVICE_KEY}" "ImagePath"
  ${IfNot} ${Errors}
    nsExec::ExecToLog '"$SYSDIR\sc.exe" stop "${SERVICE_NAME}"'
    Pop $0
    nsExec::ExecToLog '"$SYSDIR\sc.exe" delete "${SERVICE_NAME}"'
    Pop $0
    ClearErrors
    ReadRegStr $R0 HKLM "${SERVICE_KEY}" "ImagePath"
    ${IfNot} ${Errors}
      DetailPrint "The service ${SERVICE_NAME} is still registered (removed at the next restart?)."
    ${EndIf}
  ${EndIf}
FunctionEnd

; The start-at-login value of ROOT, when it starts this copy.
!macro REMOVE_RUN_VALUE ROOT
  ClearErrors
  ReadRegStr $R0 ${ROOT} "${RUN_KEY}" "${APP}"
  ${IfNot} ${Errors}
    Call un.InInstDir
    ${If} $R1 == 1
      ClearErrors
      DeleteRegValue ${ROOT} "${RUN_KEY}" "${APP}"
      ${If} ${Errors}
        DetailPrint "Could not remove ${ROOT}\${RUN_KEY}\${APP} (administrator rights needed)."
      ${Else}
        DetailPrint "Removed start at login (${ROOT}\${RUN_KEY}\${APP})."
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

Section "un.${APP}" UnSecMain
  SectionIn RO
  Call un.RemoveService
  Call un.ProgramsClosed
  !insertmacro REMOVE_RUN_VALUE HKLM
  !insertmacro REMOVE_RUN_VALUE HKCU
  ; The lock screen saver, when the desktop's setting names this copy's.
  ClearErrors
  ReadRegStr $R0 HKCU "Control Panel\Desktop" "SCRNSAVE.EXE"
  ${IfNot} ${Errors}
    Call un.InInstDir
    ${If} $R1 == 1
      DeleteRegValue HKCU "Control Panel\Desktop" "SCRNSAVE.EXE"
    ${EndIf}
  ${EndIf}

  Delete "$SMPROGRAMS\${APP}.lnk"
  !insertmacro NOCTURO_UNINSTALL_FILES
  ; Files the program downloaded for itself; the folder is the setup's.
  ReadINIStr $0 "$INSTDIR\${RECORD}" "Created" "temp"
  ${If} $0 == "1"
    RMDir /r "$INSTDIR\temp"
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  ${If} $AllUsers == 1
    DeleteRegKey HKLM "${UNINST_KEY}"
  ${Else}
    DeleteRegKey HKCU "${UNINST_KEY}"
  ${EndIf}
SectionEnd

; Deletes the action log in the folder each of the user's settings trees
; names (txtPathLog; the program folder when it names none).
Function un.DeleteActionLogs
  StrCpy $1 0
  ${Do}
    EnumRegKey $2 HKCU "${SETTINGS_KEY}" $1
    ${If} $2 == ""
      ${Break}
    ${EndIf}
    ReadRegStr $3 HKCU "${SETTINGS_KEY}\$2\Settings" "txtPathLog"
    ${If} $3 != ""
      Delete "$3\${APP}.log"
    ${EndIf}
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd

Section /o "un.Settings and logs" UnSecPurge
  Call un.DeleteActionLogs
  ; The logs beside the program.
  Delete "$INSTDIR\Common\error.log"
  Delete "$INSTDIR\bin\${APP}.log"
  Delete "$INSTDIR\bin\DiskCleaner.log"
  ; The logs in the user's own folder, where a program that cannot write
  ; beside itself keeps them.
  SetShellVarContext current
  Delete "$LOCALAPPDATA\${APP}\error.log"
  Delete "$LOCALAPPDATA\${APP}\${APP}.log"
  Delete "$LOCALAPPDATA\${APP}\DiskCleaner.log"
  Delete "$LOCALAPPDATA\${APP}\temp\*.*"
  RMDir "$LOCALAPPDATA\${APP}\temp"
  RMDir "$LOCALAPPDATA\${APP}"
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${EndIf}
  ; The user's settings; the machine's (the service flag, the options
  ; password) when no install for all users stays behind.
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "${MAKER_KEY}"
  ClearErrors
  ReadRegStr $R0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $AllUsers == 1
  ${OrIf} ${Errors}
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "${MAKER_KEY}"
  ${EndIf}
SectionEnd

; The folders the setup made, when nothing else is left in them. Where kept
; logs (or files of others) hold the program folder, the record stays with
; them, so that a later setup and its uninstaller know those folders.
Section "-un.Folders"
  !insertmacro NOCTURO_REMOVE_FOLDERS
  Call un.OnlyRecordLeft
  ${If} $0 == 1
    ReadINIStr $1 "$INSTDIR\${RECORD}" "Created" "."
    Delete "$INSTDIR\${RECORD}"
    ${If} $1 == "1"
      RMDir "$INSTDIR"
    ${EndIf}
  ${EndIf}
SectionEnd

; $0: 1 when the program folder holds nothing but the record.
Function un.OnlyRecordLeft
  StrCpy $0 1
  FindFirst $1 $2 "$INSTDIR\*.*"
  ${DoWhile} $2 != ""
    ${If} $2 != "."
    ${AndIf} $2 != ".."
    ${AndIf} $2 != "${RECORD}"
      StrCpy $0 0
    ${EndIf}
    FindNext $1 $2
  ${Loop}
  FindClose $1
FunctionEnd

; After the sections: it selects one by its index.
Function un.onInit
  ; The install for all users is the one the machine's entry names.
  StrCpy $AllUsers 0
  ReadRegStr $R0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} $R0 == $INSTDIR
    StrCpy $AllUsers 1
  ${EndIf}
  ReadINIStr $R0 "$INSTDIR\${RECORD}" "Install" "AllUsers"
  ${If} $R0 == "1"
    StrCpy $AllUsers 1
  ${EndIf}
  ${If} $AllUsers == 1
    SetShellVarContext all
    Call un.IsAdmin
    ${If} $0 != 1
      ${If} ${Silent}
        SetErrorLevel 740
        Quit
      ${EndIf}
      ClearErrors
      ExecShell "runas" "$INSTDIR\uninstall.exe"
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "${APP} was installed for all users: removing it needs administrator rights."
      ${EndIf}
      Quit
    ${EndIf}
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PURGE" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${UnSecPurge} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

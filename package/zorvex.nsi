; The per-user installer of Zorvex. It needs no administrator rights and installs where the program
; may write its options, rules and log beside itself. scripts/package runs it as
;   makensis -DVERSION=x.y.z -DSTAGE=<folder with zorvex.exe> -DLANGUAGES=<languages.nsh>
;            -DICON=<zorvex.ico> -DOUTFILE=<setup.exe> zorvex.nsi

!macro REQUIRE name
  !ifndef ${name}
    !error "${name} must be given with -D${name}=..."
  !endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE STAGE
!insertmacro REQUIRE LANGUAGES
!insertmacro REQUIRE ICON
!insertmacro REQUIRE OUTFILE

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zorvex"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; How long a running Zorvex gets to save and end after it is asked to.
!define CLOSE_WAIT_MS 15000

Name "Zorvex"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Zorvex"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Zorvex"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Zorvex ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "The Zorvex developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) The Zorvex developers"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "${LANGUAGES}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The stock text speaks of system files and reboots, which a per-user install never touches.
!define MUI_WELCOMEPAGE_TEXT "Setup will install Zorvex ${VERSION} for you alone; it needs no administrator rights.$\r$\n$\r$\nIf Zorvex is running, Setup ends it the way Exit does, so that it saves its count and rules. Your rules, options and log are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\zorvex.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Zorvex now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var WasRunning

; Asks a running Zorvex to end as its Exit item does (WM_CLOSE to its main form, so that it saves
; its count and rules) and waits, bounded, until the process is gone. Leaves $WasRunning 1 when one
; ran. Aborts when it does not end, so that no file of a running program is replaced or lost.
!macro CLOSE_ZORVEX un
Function ${un}CloseZorvex
  StrCpy $WasRunning 0
  retry:
  FindWindow $0 "TfoMain"
  ${If} $0 == 0
    Return
  ${EndIf}
  StrCpy $WasRunning 1
  DetailPrint "Closing the running Zorvex..."
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
  ; SYNCHRONIZE: enough to wait for the end.
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
  System::Call 'user32::PostMessage(p r0, i ${WM_CLOSE}, p 0, p 0)'
  ${If} $2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    ; The process cannot be opened: wait for its main form to go instead.
    StrCpy $3 0
    ${Do}
      Sleep 100
      IntOp $3 $3 + 100
      ${IfThen} $3 >= ${CLOSE_WAIT_MS} ${|} ${ExitDo} ${|}
      FindWindow $0 "TfoMain"
    ${LoopUntil} $0 == 0
  ${EndIf}
  FindWindow $0 "TfoMain"
  ${If} $0 != 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Zorvex is still running. End it with Exit in its tray menu, then choose Retry." /SD IDCANCEL IDRETRY retry
    SetErrorLevel 2
    Abort "Zorvex is still running."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CLOSE_ZORVEX ""
!insertmacro CLOSE_ZORVEX "un."

Function .onInit
  SetShellVarContext current
  ; A package manager may give the folder as /D="<folder>". NSIS keeps the quotes, finds no such
  ; folder name valid and takes its default instead; so the folder is read from the command line.
  System::Call 'kernel32::GetCommandLineW() t .r0'
  StrLen $1 $0
  ${Do}
    IntOp $1 $1 - 1
    ${IfThen} $1 < 0 ${|} ${ExitDo} ${|}
    StrCpy $2 $0 4 $1
    ${If} $2 == " /D="
      IntOp $1 $1 + 4
      StrCpy $2 $0 "" $1
      StrCpy $3 $2 1
      StrCpy $4 $2 1 -1
      ${If} $3 == '"'
      ${AndIf} $4 == '"'
        StrCpy $2 $2 -1 1
        StrCpy $INSTDIR $2
      ${EndIf}
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd

Section "Zorvex"
  Call CloseZorvex
  ; Only the program and the language files are replaced: options.xml, rules.xml and the log,
  ; which the program writes here, are never part of the package.
  SetOutPath "$INSTDIR\Languages"
  !insertmacro INSTALL_LANGUAGES
  SetOutPath "$INSTDIR"
  File "${STAGE}\zorvex.exe"
  File "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Zorvex.lnk" "$INSTDIR\zorvex.exe" "" "$INSTDIR\zorvex.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Zorvex"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Zorvex developers"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zorvex.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; A silent update must not leave the user without the program it closed; otherwise the finish
  ; page offers to start it.
  ${If} ${Silent}
  ${AndIf} $WasRunning == 1
    Exec '"$INSTDIR\zorvex.exe"'
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Uninstall"
  Call un.CloseZorvex
  Delete "$INSTDIR\zorvex.exe"
  Delete "$INSTDIR\README.txt"
  !insertmacro UNINSTALL_LANGUAGES
  RMDir "$INSTDIR\Languages"
  Delete "$SMPROGRAMS\Zorvex.lnk"

  ; The Run value goes when it names the program just removed; a copy elsewhere keeps its own.
  ReadRegStr $0 HKCU "${RUN_KEY}" "Zorvex"
  ${If} $0 != ""
    StrCpy $1 $0 1
    ${If} $1 == '"'
      StrCpy $0 $0 "" 1
      StrCpy $0 $0 -1
    ${EndIf}
    ${IfNot} ${FileExists} "$0"
      DeleteRegValue HKCU "${RUN_KEY}" "Zorvex"
    ${EndIf}
  ${EndIf}

  MessageBox MB_YESNO|MB_ICONQUESTION "Keep your rules and settings (rules.xml, options.xml and the log) in $INSTDIR for a later installation?" /SD IDYES IDYES keep
    Delete "$INSTDIR\rules.xml"
    Delete "$INSTDIR\options.xml"
    Delete "$INSTDIR\zorvex.log"
    Delete "$INSTDIR\zorvex.log.old"
    ; Leftovers of a save that was cut short, as this version names them and as older ones did.
    Delete "$INSTDIR\*.~*.part"
    Delete "$INSTDIR\*.~*.new"
    Delete "$INSTDIR\*.~*.old"
    Delete "$INSTDIR\*.~*.kept"
    Delete "$INSTDIR\*.~*.tmp"
    Delete "$INSTDIR\*.~*.tmp.old"
  keep:
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; Last: an uninstall cut short stays listed, so it can be run again.
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

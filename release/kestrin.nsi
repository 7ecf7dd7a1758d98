; The Windows installer of Kestrin: the program's four files in a folder of
; the user's choice, a Start-menu folder with Kestrin and its uninstaller,
; and, unless declined, the Windows service that keeps the clock right for
; every user (its program, its settings folder and its entry with the
; service manager). The settings files stay when it is removed; the
; service's are copied back to the window's.
; makensis -DVERSION=2.1b -DFILES=<folder of the five files> -DOUTFILE=<setup.exe>
;          -DACCESS=<access.nsh, the access lists as release/CMakeLists.txt writes them>
; Command line: /S installs silently, with the service; /NOSERVICE leaves
; the service out; /D=C:\folder (last) chooses the folder.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include Sections.nsh
!include WinVer.nsh
!include FileFunc.nsh
; kIcaclsTakeOwner, kIcaclsReset, kIcaclsLockSettings, kIcaclsLockInstall
!include "${ACCESS}"

Name "Kestrin ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Kestrin"
ShowInstDetails show
ShowUninstDetails show

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define STARTMENU "$SMPROGRAMS\Kestrin"
!define SERVICE "Kestrin"
; With SetShellVarContext all, $APPDATA is the common application data folder.
!define SERVICEDATA "$APPDATA\Kestrin"

; Runs a system program by its full path (never one found in the
; installer's folder or the current one first); a failure stops the
; installation with a message saying which step failed.
!macro SystemStep PROGRAM ARGS WHAT
  nsExec::ExecToLog '"$SYSDIR\${PROGRAM}" ${ARGS}'
  Pop $0
  ${If} $0 != 0
    SetErrorLevel 2
    MessageBox MB_OK|MB_ICONSTOP "Kestrin cannot be installed: ${WHAT} failed ($SYSDIR\${PROGRAM}, status $0). Nothing was started." /SD IDOK
    Abort "${WHAT} failed (status $0)"
  ${EndIf}
!macroend

; Makes FOLDER the administrators': owner, no entry of anyone else's,
; LOCK's list on the folder, inherited by everything inside.
!macro LockFolder FOLDER LOCK WHAT
  !insertmacro SystemStep icacls.exe '"${FOLDER}" ${kIcaclsTakeOwner}' "Taking over ${WHAT}"
  !insertmacro SystemStep icacls.exe '"${FOLDER}" ${kIcaclsReset}' "Clearing the access list of ${WHAT}"
  !insertmacro SystemStep icacls.exe '"${FOLDER}" ${LOCK}' "Setting the access list of ${WHAT}"
  ; Anything made inside between the steps: the administrators' too, with
  ; only what it inherits.
  !insertmacro SystemStep icacls.exe '"${FOLDER}" ${kIcaclsTakeOwner}' "Taking over ${WHAT}"
  FindFirst $1 $2 "${FOLDER}\*"
  ${Do}
    ${If} $2 == ""
    ${OrIf} $2 != "."
    ${AndIf} $2 != ".."
      ${Break}
    ${EndIf}
    FindNext $1 $2
  ${Loop}
  FindClose $1
  ${If} $2 != ""
    !insertmacro SystemStep icacls.exe '"${FOLDER}\*" ${kIcaclsReset}' "Clearing the access lists in ${WHAT}"
  ${EndIf}
!macroend

Section "Kestrin" SecProgram
  SectionIn RO
  SetShellVarContext all
  ; Program Files lets only administrators write; another folder may let
  ; users replace the service's program or the uninstaller, which run with
  ; more rights than theirs. Locked before a file goes in.
  StrLen $1 "$PROGRAMFILES\"
  StrCpy $2 "$INSTDIR" $1
  ${If} $2 != "$PROGRAMFILES\"
    CreateDirectory "$INSTDIR"
    !insertmacro LockFolder "$INSTDIR" "${kIcaclsLockInstall}" "the install folder"
  ${EndIf}
  SetOutPath "$INSTDIR"
  File "${FILES}/kestrin.exe"
  File "${FILES}/BWCC32.DLL"
  File "${FILES}/KESTNTS.DLL"
  File "${FILES}/kestrin.hlp"
  File "${FILES}/README.TXT"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The shortcuts start in $INSTDIR (the output path), beside the help file.
  CreateDirectory "${STARTMENU}"
  CreateShortcut "${STARTMENU}\Kestrin.lnk" "$INSTDIR\kestrin.exe"
  CreateShortcut "${STARTMENU}\Uninstall Kestrin.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section "Keep the clock right as a Windows service" SecService
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${FILES}/kestrinsvc.exe"
  ; Its settings: administrators and the system change them, Local Service
  ; (the service's account) writes them, users only read them. The folder
  ; may be older than the installation, made by anyone: a KESTRIN.INI in it
  ; counts only when the administrators, the system or Local Service own
  ; both (looked at before the folder is taken over, which makes the
  ; administrators the owner of all). Any other is set aside, renamed.
  StrCpy $R9 0
  ${If} ${FileExists} "${SERVICEDATA}\KESTRIN.INI"
    Push "${SERVICEDATA}"
    Call OwnedByTrusted
    Pop $R8
    Push "${SERVICEDATA}\KESTRIN.INI"
    Call OwnedByTrusted
    Pop $R7
    ${If} $R8 != 1
    ${OrIf} $R7 != 1
      StrCpy $R9 1
    ${EndIf}
  ${EndIf}
  CreateDirectory "${SERVICEDATA}"
  !insertmacro LockFolder "${SERVICEDATA}" "${kIcaclsLockSettings}" "the service's settings folder"
  ${If} $R9 == 1
    Delete "${SERVICEDATA}\KESTRIN.INI.untrusted"
    ClearErrors
    Rename "${SERVICEDATA}\KESTRIN.INI" "${SERVICEDATA}\KESTRIN.INI.untrusted"
    ${If} ${Errors}
      SetErrorLevel 2
      MessageBox MB_OK|MB_ICONSTOP "Kestrin cannot be installed: ${SERVICEDATA}\KESTRIN.INI, which an administrator does not own, cannot be set aside." /SD IDOK
      Abort "cannot set aside KESTRIN.INI"
    ${EndIf}
    DetailPrint "Set aside ${SERVICEDATA}\KESTRIN.INI (not an administrator's) as KESTRIN.INI.untrusted"
  ${EndIf}
  ; Seeded from the user's own settings: the file an unelevated program
  ; wrote (redirected to the VirtualStore), else the one in the Windows folder.
  ${IfNot} ${FileExists} "${SERVICEDATA}\KESTRIN.INI"
    SetShellVarContext current
    StrCpy $1 "$LOCALAPPDATA\VirtualStore\Windows\KESTRIN.INI"
    SetShellVarContext all
    ClearErrors
    ${If} ${FileExists} "$1"
      CopyFiles /SILENT "$1" "${SERVICEDATA}\KESTRIN.INI"
    ${ElseIf} ${FileExists} "$WINDIR\KESTRIN.INI"
      CopyFiles /SILENT "$WINDIR\KESTRIN.INI" "${SERVICEDATA}\KESTRIN.INI"
    ${EndIf}
    ${If} ${Errors}
      SetErrorLevel 2
      MessageBox MB_OK|MB_ICONSTOP "Kestrin cannot be installed: your settings could not be copied to ${SERVICEDATA}\KESTRIN.INI." /SD IDOK
      Abort "cannot copy the settings"
    ${EndIf}
  ${EndIf}
  ; The service's entry: made, or made to run this program again.
  nsExec::ExecToStack '"$SYSDIR\sc.exe" query ${SERVICE}'
  Pop $0
  Pop $1
  ${If} $0 == 0
    !insertmacro SystemStep sc.exe 'config ${SERVICE} binPath= "\"$INSTDIR\kestrinsvc.exe\"" start= auto obj= "NT AUTHORITY\LocalService"' "Registering the service"
  ${Else}
    !insertmacro SystemStep sc.exe 'create ${SERVICE} binPath= "\"$INSTDIR\kestrinsvc.exe\"" start= auto obj= "NT AUTHORITY\LocalService" DisplayName= "Kestrin time service"' "Registering the service"
  ${EndIf}
  ; Vista and later: the service's token holds the system-time privilege
  ; and no other. Not a stop when it fails (Windows XP and Wine know no such
  ; list): the service then keeps Local Service's few privileges.
  nsExec::ExecToLog '"$SYSDIR\sc.exe" privs ${SERVICE} SeSystemtimePrivilege'
  Pop $0
  !insertmacro SystemStep sc.exe 'start ${SERVICE}' "Starting the service"
SectionEnd

; Stack: path in, 1 or 0 out: whether its owner is the administrators, the
; system or Local Service (0 too when the owner cannot be read).
Function OwnedByTrusted
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $4 0
  ; SE_FILE_OBJECT 1, OWNER_SECURITY_INFORMATION 1
  System::Call 'advapi32::GetNamedSecurityInfoW(w r0, i 1, i 1, *p .r1, p 0, p 0, p 0, *p .r2) i .r3'
  ${If} $3 == 0
    ; WinBuiltinAdministratorsSid 26, WinLocalSystemSid 22, WinLocalServiceSid 23
    ${ForEach} $0 22 26 + 1
      ${If} $0 != 24
      ${AndIf} $0 != 25
        System::Call 'advapi32::IsWellKnownSid(p r1, i r0) i .r3'
        ${If} $3 != 0
          StrCpy $4 1
        ${EndIf}
      ${EndIf}
    ${Next}
    System::Call 'kernel32::LocalFree(p r2)'
  ${EndIf}
  StrCpy $0 $4
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  ; Local Service, the service's account, exists from Windows XP on.
  ${IfNot} ${AtLeastWinXP}
    !insertmacro UnselectSection ${SecService}
    !insertmacro SetSectionFlag ${SecService} ${SF_RO}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSERVICE" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecService}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  ; The service first: its program cannot go while it runs. It stops
  ; within two seconds; the wait is bounded all the same.
  nsExec::ExecToLog '"$SYSDIR\sc.exe" stop ${SERVICE}'
  Pop $0
  StrCpy $2 0
  ${Do}
    nsExec::ExecToStack '"$SYSDIR\sc.exe" query ${SERVICE}'
    Pop $0
    Pop $1
    ${If} $0 != 0
      ${Break}
    ${EndIf}
    Push $1
    Push "STOPPED"
    Call un.Contains
    Pop $3
    ${If} $3 == 1
    ${OrIf} $2 >= 50
      ${Break}
    ${EndIf}
    Sleep 100
    IntOp $2 $2 + 1
  ${Loop}
  nsExec::ExecToLog '"$SYSDIR\sc.exe" delete ${SERVICE}'
  Pop $0
  ; The service's settings were the machine's while it ran: they go back
  ; where the window alone reads them (the Windows folder, and the user's
  ; VirtualStore copy, which wins over it), so that nobody is taken back to
  ; older settings unawares. Only when this installation had the service:
  ; a settings folder left from an earlier one is older than the window's.
  ${If} ${FileExists} "$INSTDIR\kestrinsvc.exe"
  ${AndIf} ${FileExists} "${SERVICEDATA}\KESTRIN.INI"
    CopyFiles /SILENT "${SERVICEDATA}\KESTRIN.INI" "$WINDIR"
    SetShellVarContext current
    StrCpy $1 "$LOCALAPPDATA\VirtualStore\Windows"
    SetShellVarContext all
    ${If} ${FileExists} "$1\KESTRIN.INI"
      CopyFiles /SILENT "${SERVICEDATA}\KESTRIN.INI" "$1"
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\kestrinsvc.exe"
  ; The service's folder goes only when empty: its KESTRIN.INI stays.
  RMDir "${SERVICEDATA}"

  Delete "${STARTMENU}\Kestrin.lnk"
  Delete "${STARTMENU}\Uninstall Kestrin.lnk"
  RMDir "${STARTMENU}"
  Delete "$INSTDIR\kestrin.exe"
  Delete "$INSTDIR\BWCC32.DLL"
  Delete "$INSTDIR\KESTNTS.DLL"
  Delete "$INSTDIR\kestrin.hlp"
  Delete "$INSTDIR\README.TXT"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: whatever the user put there stays.
  RMDir "$INSTDIR"
SectionEnd

; Stack: text, word in, 1 or 0 out: whether the word occurs in the text.
Function un.Contains
  Exch $R1  ; word
  Exch
  Exch $R0  ; text
  Push $R2
  Push $R3
  Push $R4
  StrLen $R2 $R1
  StrCpy $R3 0
  StrCpy $R4 0
  ${Do}
    StrCpy $0 $R0 $R2 $R3
    ${If} $0 == $R1
      StrCpy $R4 1
      ${Break}
    ${EndIf}
    ${If} $0 == ""
      ${Break}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${Loop}
  StrCpy $R0 $R4
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

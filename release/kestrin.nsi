; The Windows installer of Kestrin: the program's four files in a folder of
; the user's choice, a Start-menu folder with Kestrin and its uninstaller,
; and, unless declined, the Windows service that keeps the clock right for
; every user (its program, its settings folder and its entry with the
; service manager). The settings files stay when it is removed; the
; service's are copied back to the window's.
; makensis -DVERSION=2.1b -DFILES=<folder of the five files> -DOUTFILE=<setup.exe>
; Command line: /S installs silently, with the service; /NOSERVICE leaves
; the service out; /D=C:\folder (last) chooses the folder.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include Sections.nsh
!include WinVer.nsh
!include FileFunc.nsh

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

Section "Kestrin" SecProgram
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${FILES}/kestrin.exe"
  File "${FILES}/BWCC32.DLL"
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
  ; (the service's account) writes them, users only read them. Where icacls
  ; is missing (Windows XP) the folder keeps what it inherits.
  CreateDirectory "${SERVICEDATA}"
  nsExec::ExecToLog 'icacls "${SERVICEDATA}" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-19:(OI)(CI)M *S-1-5-32-545:(OI)(CI)RX'
  Pop $0
  ; Seeded from the user's own settings: the file an unelevated program
  ; wrote (redirected to the VirtualStore), else the one in the Windows folder.
  ${IfNot} ${FileExists} "${SERVICEDATA}\KESTRIN.INI"
    SetShellVarContext current
    StrCpy $1 "$LOCALAPPDATA\VirtualStore\Windows\KESTRIN.INI"
    SetShellVarContext all
    ${If} ${FileExists} "$1"
      CopyFiles /SILENT "$1" "${SERVICEDATA}\KESTRIN.INI"
    ${ElseIf} ${FileExists} "$WINDIR\KESTRIN.INI"
      CopyFiles /SILENT "$WINDIR\KESTRIN.INI" "${SERVICEDATA}\KESTRIN.INI"
    ${EndIf}
  ${EndIf}
  nsExec::ExecToLog '"$SYSDIR\sc.exe" create ${SERVICE} binPath= "\"$INSTDIR\kestrinsvc.exe\"" start= auto obj= "NT AUTHORITY\LocalService" DisplayName= "Kestrin time service"'
  Pop $0
  ; Vista and later: the service's token holds the system-time privilege
  ; and no other (fails harmlessly on Windows XP).
  nsExec::ExecToLog '"$SYSDIR\sc.exe" privs ${SERVICE} SeSystemtimePrivilege'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\sc.exe" start ${SERVICE}'
  Pop $0
SectionEnd

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

; The Windows installer of Kestrin: the program's four files in a folder of
; the user's choice, a Start-menu folder with Kestrin and its uninstaller,
; and nothing else (no registry entries; the settings stay in KESTRIN.INI).
; makensis -DVERSION=2.1b -DFILES=<folder of the four files> -DOUTFILE=<setup.exe>
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

Name "Kestrin ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Kestrin"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define STARTMENU "$SMPROGRAMS\Kestrin"

Section "Kestrin"
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

Section "Uninstall"
  SetShellVarContext all
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

; The Windows installer of Talmar, made with NSIS (makensis) from a folder that holds the programs
; and the Qt files windeployqt put beside them:
;   makensis -INPUTCHARSET UTF8 -DSTAGE=C:\talmar-stage packaging\windows\talmar.nsi
; The version is the project's, read from the top-level CMakeLists.txt (-DVERSION=... overrides it).
; Not yet tried on Windows: the steps are those of the README's section "Сборка для Windows".
Unicode true
!ifndef STAGE
  !error "STAGE: the folder with talmar.exe, talmar-cli.exe, talmar-tables.exe and the Qt files"
!endif
; makensis works in this script's folder, so the path is from here.
!ifndef VERSION
  !searchparse /file "../../CMakeLists.txt" "project(Talmar VERSION " VERSION " "
!endif
!ifndef VERSION
  !error "VERSION: no project(Talmar VERSION ...) line in CMakeLists.txt"
!endif
!ifndef OUTFILE
  !define OUTFILE "talmar-${VERSION}-setup.exe"
!endif

Name "Тальмар ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Talmar"
InstallDirRegKey HKLM "Software\Talmar" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Talmar"

Section "Тальмар"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Talmar" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Тальмар ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The menu entry starts the program in the user's own working folder (Документы\Тальмар).
  CreateShortCut "$SMPROGRAMS\Тальмар.lnk" "$INSTDIR\talmar.exe" "--user-folder"
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Тальмар.lnk"
  ; Only what the installer put there: the user's tables and Log.txt live in Документы\Тальмар.
  RMDir /r "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Talmar"
SectionEnd

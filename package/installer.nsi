; Zandrel's installer: a per-user install that needs no administrator, with the
; zip's files, a Start-menu shortcut, an entry among the installed programs and,
; when chosen, Explorer's menus (added and removed by the program itself, so the
; installer and Zandrel's own menu do exactly the same).
;
;   makensis -DVERSION=1.0.0 -DBIN=<folder of the built files> -DOUT=<setup.exe>
;            -DICON=<zandrel.ico> -DSETTINGS_KEY=<key> -DSETTINGS_PARENT=<its parent key>
;            installer.nsi
;
; Command line: /S (silent), /D=FOLDER (last, unquoted), /NOEXPLORERMENUS (leave
; Explorer's menus out). The uninstaller: /S, /REMOVESETTINGS (also the settings).
; Exit codes: 3, Zandrel runs from the folder; 4, the folder holds a file of the
; user's named like one of Zandrel's. Nothing is changed then.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include StrFunc.nsh
${UnStrStr}

!define PUBLISHER "The Zandrel authors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zandrel"
; Exactly the files of the zip.
!macro ForEachFile DO
  !insertmacro ${DO} "zandrel.exe"
  !insertmacro ${DO} "Zandrel.html"
  !insertmacro ${DO} "Process.avi"
  !insertmacro ${DO} "LICENSE.txt"
  !insertmacro ${DO} "THIRD-PARTY-NOTICES.txt"
!macroend
!macro InstallFile NAME
  File "${BIN}\${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend
; A file of the zip's name in a folder that holds no Zandrel install is the user's own.
!macro FindForeignFile NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    StrCpy $R9 "${NAME}"
  ${EndIf}
!macroend
; The installed files' size, in bytes, added to $R8.
!macro AddFileSize NAME
  FileOpen $R7 "$INSTDIR\${NAME}" r
  FileSeek $R7 0 END $R6
  FileClose $R7
  IntOp $R8 $R8 + $R6
!macroend

Name "Zandrel ${VERSION}"
OutFile "${OUT}"
InstallDir "$LOCALAPPDATA\Programs\Zandrel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Zandrel ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Zandrel"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Zandrel ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\zandrel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Zandrel"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${BIN}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A Zandrel running from the folder is never overwritten (nor removed) half-way: its
; program file cannot be opened for writing while it runs. Silent: ends with code 3.
!macro RefuseWhileRunning UN
Function ${UN}RefuseWhileRunning
  ${DoWhile} ${FileExists} "$INSTDIR\zandrel.exe"
    ClearErrors
    FileOpen $0 "$INSTDIR\zandrel.exe" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel 3
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Zandrel is running from $INSTDIR.$\r$\n$\r$\nClose it, then choose Retry." IDRETRY +2
    Abort "Zandrel is running: nothing was changed."
  ${Loop}
FunctionEnd
!macroend
!insertmacro RefuseWhileRunning ""
!insertmacro RefuseWhileRunning "un."

; Never over a file of the user's own: a folder that holds a file named like one of
; Zandrel's, and no installed Zandrel, is refused (silent: code 4).
Function RefuseForeignFiles
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
  ${AndIf} ${FileExists} "$INSTDIR\zandrel.exe"
    Return
  ${EndIf}
  StrCpy $R9 ""
  !insertmacro ForEachFile FindForeignFile
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    StrCpy $R9 "uninstall.exe"
  ${EndIf}
  ${If} $R9 != ""
    ${If} ${Silent}
      SetErrorLevel 4
      Quit
    ${EndIf}
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR already holds a file named $R9 that is not an installed Zandrel's.$\r$\n$\r$\nChoose an empty folder or a new one: nothing was changed."
    Abort "Nothing was changed."
  ${EndIf}
FunctionEnd

Section "Zandrel" SecProgram
  SectionIn RO
  Call RefuseWhileRunning
  Call RefuseForeignFiles
  SetOutPath "$INSTDIR"
  !insertmacro ForEachFile InstallFile
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Zandrel.lnk" "$INSTDIR\zandrel.exe" "" "$INSTDIR\zandrel.exe" 0 SW_SHOWNORMAL "" "Pack and unpack programs with UPX"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Zandrel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zandrel.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; Only the installed files: the folder may hold the user's own too.
  StrCpy $R8 0
  !insertmacro ForEachFile AddFileSize
  !insertmacro AddFileSize "uninstall.exe"
  IntOp $R8 $R8 / 1024
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $R8
SectionEnd

Section "Add Zandrel to Explorer's menus" SecExplorer
  ExecWait '"$INSTDIR\zandrel.exe" /register-shell' $0
  ${If} $0 != 0
    DetailPrint "Explorer's menus could not be added (code $0); Zandrel can add them itself later."
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOEXPLORERMENUS" $1
  ${IfNot} ${Errors}
    !insertmacro UnselectSection ${SecExplorer}
  ${EndIf}
FunctionEnd

Section "un.Zandrel" UnSecProgram
  SectionIn RO
  Call un.RefuseWhileRunning
  ; Explorer's menus go first, taken away by the program itself, when they are this
  ; installation's (whether the installer or the user added them; not a zip's copy's).
  ReadRegStr $0 HKCU "Software\Classes\SystemFileAssociations\.exe\shell\ZandrelCompress\command" ""
  ${UnStrStr} $1 $0 "$INSTDIR\zandrel.exe"
  ${If} $1 != ""
  ${AndIf} ${FileExists} "$INSTDIR\zandrel.exe"
    ExecWait '"$INSTDIR\zandrel.exe" /unregister-shell'
  ${EndIf}
  !insertmacro ForEachFile RemoveFile
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The entry and the shortcut go only when they are this folder's: a later install
  ; elsewhere owns them now.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Delete "$SMPROGRAMS\Zandrel.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd

Section /o "un.Remove my settings" UnSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT}"
SectionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecSettings}
  ${EndIf}
FunctionEnd

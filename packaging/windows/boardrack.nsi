; The Windows installer of the board rack programs. scripts/windows-installer builds it:
;   makensis -DVERSION=1.0 -DSTAGE=<folder with the programs and files> -DOUTFILE=<setup.exe>
; A silent install (/S) takes the optional component of Inform at logon with /INFORMLOGON.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

Name "Boardrack ${VERSION}"
; The installer's own version resource, as the programs have theirs.
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1049 "ProductName" "Boardrack"
VIAddVersionKey /LANG=1049 "CompanyName" "Boardrack"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка программ стойки телефонных плат"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "Boardrack"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Boardrack"
InstallDirRegKey HKLM "Software\Boardrack" "InstallDir"
RequestExecutionLevel admin

; Where the programs find drive C: of the original. A user without administrator rights
; cannot create files in C:\ itself on current Windows, so the lists and logs live here.
!define DATA "C:\Boardrack"
!define INFORM_LOGON "$SMSTARTUP\Inform (автостарт).lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Boardrack"

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Section "Boardrack" SecMain
    SectionIn RO
    SetRegView 64
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${STAGE}\dialrun.exe"
    File "${STAGE}\pinread.exe"
    File "${STAGE}\inform.exe"
    File "${STAGE}\rackprobe.exe"
    File "${STAGE}\ringlist.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\sample.rack"
    File "${STAGE}\Ring.TXT"

    ; The data folder, writable by every user of the PC (Users: modify, inherited). Kept
    ; by the uninstaller: it holds the campaign lists and their logs.
    CreateDirectory "${DATA}"
    nsExec::Exec 'icacls "${DATA}" /grant *S-1-5-32-545:(OI)(CI)M'
    Pop $0

    CreateDirectory "$SMPROGRAMS\Boardrack"
    CreateShortcut "$SMPROGRAMS\Boardrack\Dialrun.lnk" "$INSTDIR\dialrun.exe" \
        '--root "${DATA}" --port COM1' "$INSTDIR\dialrun.exe" 0 SW_SHOWNORMAL "" \
        "Прозвонка: оповещение абонентов"
    CreateShortcut "$SMPROGRAMS\Boardrack\Pinread.lnk" "$INSTDIR\pinread.exe" \
        '--root "${DATA}" --port COM1' "$INSTDIR\pinread.exe" 0 SW_SHOWNORMAL "" \
        "Прием четырехзначных кодов"
    CreateShortcut "$SMPROGRAMS\Boardrack\Inform.lnk" "$INSTDIR\inform.exe" \
        '--root "${DATA}" --port COM1' "$INSTDIR\inform.exe" 0 SW_SHOWNORMAL "" \
        "Автоинформатор и говорящие часы"
    CreateShortcut "$SMPROGRAMS\Boardrack\Данные (C -- Boardrack).lnk" "${DATA}"
    CreateShortcut "$SMPROGRAMS\Boardrack\README.lnk" "$INSTDIR\README.txt"
    CreateShortcut "$SMPROGRAMS\Boardrack\Удалить Boardrack.lnk" "$INSTDIR\uninstall.exe"

    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "Software\Boardrack" "InstallDir" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Boardrack ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Boardrack"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dialrun.exe,0"
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Inform serves from the moment the operator's session starts: it presses its own "Старт"
; after the survey, and comes back to the boards by itself when the link is lost.
Section /o "Inform при входе в систему (автостарт)" SecInformLogon
    SetShellVarContext all
    CreateShortcut "${INFORM_LOGON}" "$INSTDIR\inform.exe" \
        '--root "${DATA}" --port COM1 --autostart --reconnect 30 --journal yes --status-file yes' \
        "$INSTDIR\inform.exe" 0 SW_SHOWNORMAL "" "Автоинформатор: старт при входе в систему"
SectionEnd

Function .onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/INFORMLOGON" $R1
    IfErrors +2
    !insertmacro SelectSection ${SecInformLogon}
FunctionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    Delete "$INSTDIR\dialrun.exe"
    Delete "$INSTDIR\pinread.exe"
    Delete "$INSTDIR\inform.exe"
    Delete "$INSTDIR\rackprobe.exe"
    Delete "$INSTDIR\ringlist.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\sample.rack"
    Delete "$INSTDIR\Ring.TXT"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir /r "$SMPROGRAMS\Boardrack"
    Delete "${INFORM_LOGON}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Boardrack"
SectionEnd

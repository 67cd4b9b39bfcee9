; The Windows installer of the board rack programs. scripts/windows-installer builds it:
;   makensis -DVERSION=1.0 -DSTAGE=<folder with the programs and files> -DOUTFILE=<setup.exe>
;   A silent install (/S) takes the optional component of Inform at logon with /INFORMLOGON.
;   /PORT=COM3 and /ROOT=D:\Boardrack (/ROOT="D:\Rack data" with a blank) set the port and
;   the data folder in the PC's settings file, %ProgramData%\Boardrack\boardrack.conf; without
;   them a first install writes COM1 and C:\Boardrack and an upgrade keeps what the file says.
;   rackconf takes them at the end of its command line as written, so a folder ending in "\"
;   (/ROOT=C:\Rack\) stays one. A value it refuses stops the installation before a file is
;   written. The file stays when uninstalled.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"
!include "nsDialogs.nsh"
!include "LogicLib.nsh"

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
; Signed as they are made: the uninstaller before it is packed, the installer once written.
!ifdef SIGN
    !uninstfinalize `${SIGN} "%1"` = 0
    !finalize `${SIGN} "%1"` = 0
!endif
InstallDir "$PROGRAMFILES64\Boardrack"
InstallDirRegKey HKLM "Software\Boardrack" "InstallDir"
RequestExecutionLevel admin

; Where the programs find drive C: of the original unless told otherwise. A user without
; administrator rights cannot create files in C:\ itself on current Windows, so the lists and
; logs live in a folder that the installer opens to every user.
!define DATA "C:\Boardrack"
!define INFORM_LOGON "$SMSTARTUP\Inform (автостарт).lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Boardrack"

Var Port
Var Root
Var PortField
Var RootField

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
Page custom SettingsPage SettingsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

Section "Boardrack" SecMain
    SectionIn RO
    SetRegView 64
    SetShellVarContext all
    ; A port or folder the settings file cannot hold is refused before anything is written.
    nsExec::ExecToStack '"$PLUGINSDIR\rackconf.exe" --check --installer $Port|$Root'
    Pop $1
    Pop $2
    ${If} $1 != 0
        MessageBox MB_ICONSTOP "Настройки ПК не записаны: $2Установка прервана." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${STAGE}\dialrun.exe"
    File "${STAGE}\pinread.exe"
    File "${STAGE}\inform.exe"
    File "${STAGE}\rackprobe.exe"
    File "${STAGE}\ringlist.exe"
    File "${STAGE}\rackconf.exe"
    File "${STAGE}\README.txt"
    File "${STAGE}\sample.rack"
    File "${STAGE}\Ring.TXT"
    ; Whatever follows, the files installed can be removed.
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

    ; The PC's settings (port and data folder, every other line kept) and the data folder,
    ; writable by every user of the PC. Both are kept by the uninstaller: the folder holds the
    ; campaign lists and their logs. The data folder is made first: where it cannot be, the
    ; file stays as it was.
    ; An empty port or folder (a silent install without /PORT or /ROOT) keeps the file's.
    nsExec::ExecToStack '"$INSTDIR\rackconf.exe" --installer $Port|$Root'
    Pop $1
    Pop $2
    DetailPrint $2
    ${If} $1 != 0
        MessageBox MB_ICONSTOP "Настройки ПК не записаны: $2Установка прервана." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
    nsExec::ExecToStack '"$INSTDIR\rackconf.exe" --get root'
    Pop $1
    Pop $Root

    CreateDirectory "$SMPROGRAMS\Boardrack"
    ; The port and the folder come from the PC's settings file, not from the shortcuts.
    CreateShortcut "$SMPROGRAMS\Boardrack\Dialrun.lnk" "$INSTDIR\dialrun.exe" "" \
        "$INSTDIR\dialrun.exe" 0 SW_SHOWNORMAL "" "Прозвонка: оповещение абонентов"
    CreateShortcut "$SMPROGRAMS\Boardrack\Pinread.lnk" "$INSTDIR\pinread.exe" "" \
        "$INSTDIR\pinread.exe" 0 SW_SHOWNORMAL "" "Прием четырехзначных кодов"
    CreateShortcut "$SMPROGRAMS\Boardrack\Inform.lnk" "$INSTDIR\inform.exe" "" \
        "$INSTDIR\inform.exe" 0 SW_SHOWNORMAL "" "Автоинформатор и говорящие часы"
    CreateShortcut "$SMPROGRAMS\Boardrack\Папка данных.lnk" "$Root"
    CreateShortcut "$SMPROGRAMS\Boardrack\README.lnk" "$INSTDIR\README.txt"
    CreateShortcut "$SMPROGRAMS\Boardrack\Удалить Boardrack.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

; Inform serves from the moment the operator's session starts: it presses its own "Старт"
; after the survey, and comes back to the boards by itself when the link is lost.
Section /o "Inform при входе в систему (автостарт)" SecInformLogon
    SetShellVarContext all
    CreateShortcut "${INFORM_LOGON}" "$INSTDIR\inform.exe" \
        '--autostart --reconnect 30 --journal yes --status-file yes' \
        "$INSTDIR\inform.exe" 0 SW_SHOWNORMAL "" "Автоинформатор: старт при входе в систему"
SectionEnd

Function .onInit
    ; Installed from the MSI: the two would fight over the same files and entries.
    SetRegView 64
    ReadRegStr $R0 HKLM "Software\Boardrack" "Package"
    ${If} $R0 == "msi"
        MessageBox MB_ICONSTOP "Boardrack установлен пакетом MSI. Сначала удалите его (Параметры, Приложения), затем запустите эту установку." /SD IDOK
        SetErrorLevel 3
        Abort
    ${EndIf}
    ; rackconf before anything is installed: the page and the check read the settings file.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\rackconf.exe" "${STAGE}\rackconf.exe"
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/INFORMLOGON" $R1
    IfErrors +2
    !insertmacro SelectSection ${SecInformLogon}
    ${GetOptions} $R0 "/PORT=" $Port
    ${GetOptions} $R0 "/ROOT=" $Root
FunctionEnd

; The port and the data folder, as the options gave them; else as the PC's settings file
; says (kept from an earlier installation too), at first COM1 and C:\Boardrack.
Function SettingsPage
    !insertmacro MUI_HEADER_TEXT "Порт и папка данных" "Записываются в файл настроек ПК"
    ${If} $Port == ""
        nsExec::ExecToStack '"$PLUGINSDIR\rackconf.exe" --get port'
        Pop $0
        Pop $Port
    ${EndIf}
    ${If} $Root == ""
        nsExec::ExecToStack '"$PLUGINSDIR\rackconf.exe" --get root'
        Pop $0
        Pop $Root
    ${EndIf}
    ${If} $Port == ""
        StrCpy $Port "COM1"
    ${EndIf}
    ${If} $Root == ""
        StrCpy $Root "${DATA}"
    ${EndIf}
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 24u "Порт, к которому подключены платы (COM1, COM3 ...):"
    Pop $0
    ${NSD_CreateText} 0 26u 60u 12u "$Port"
    Pop $PortField
    ${NSD_CreateLabel} 0 50u 100% 24u "Папка данных (диск C: программ: списки, журналы, звуки). Изменять файлы в ней смогут все пользователи ПК:"
    Pop $0
    ${NSD_CreateText} 0 76u 100% 12u "$Root"
    Pop $RootField
    ${NSD_CreateLabel} 0 100u 100% 36u "Настройки хранятся в %ProgramData%\Boardrack\boardrack.conf и остаются при удалении программ."
    Pop $0
    nsDialogs::Show
FunctionEnd

Function SettingsPageLeave
    ${NSD_GetText} $PortField $Port
    ${NSD_GetText} $RootField $Root
    nsExec::ExecToStack '"$PLUGINSDIR\rackconf.exe" --check --installer $Port|$Root'
    Pop $0
    Pop $1
    ${If} $0 != 0
        MessageBox MB_ICONEXCLAMATION "$1"
        Abort
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetRegView 64
    SetShellVarContext all
    Delete "$INSTDIR\dialrun.exe"
    Delete "$INSTDIR\pinread.exe"
    Delete "$INSTDIR\inform.exe"
    Delete "$INSTDIR\rackprobe.exe"
    Delete "$INSTDIR\ringlist.exe"
    Delete "$INSTDIR\rackconf.exe"
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

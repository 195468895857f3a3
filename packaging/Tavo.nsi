; The per-user installer of TAVO, built on Linux by scripts/package.
;
; It needs no administrator rights: TAVO goes into the user's own programs
; folder, where Tavo.ini beside TAVO.exe stays writable for a program that
; runs asInvoker. Defined by the caller (makensis -D...): VERSION, PUBLISHER,
; STAGE (the folder with the files to install), ICON, OUT_FILE, SIZE_KB, and
; HAVE_TAVO_REC when the console program tavo-rec.exe is part of it.
;
; NSIS rather than an MSI from wixl: what this installer does beyond copying
; files (keep an existing Tavo.ini, look for the driver and say so, name what
; the uninstall left) is a few lines of script here, where wixl's subset of
; WiX would need conditions and custom actions; the result is one
; self-contained exe, and the 64-bit stubs run under a 64-bit-only Wine.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestSupportedOS all

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TAVO"
!define DRIVER_NOTE "The controller needs the FTDI D2XX driver (FTD2XX.dll), which was not found on this PC: please install it from the controller's supplier before connecting the controller."

Name "TAVO ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\TAVO"
; An upgrade goes where the installed TAVO is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
; Closes by itself when done; a note on the missing driver waits for OK.
AutoCloseWindow true
BrandingText "TAVO ${VERSION}"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; No copyright line is claimed.
!pragma warning disable 9100
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "TAVO"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "TAVO ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"

; Tells the operator when no FTD2XX.dll is to be found where TAVO.exe will
; look for it: beside it, then the system's search path.
Function NoteMissingDriver
    IfFileExists "$INSTDIR\FTD2XX.dll" found
    System::Call 'kernel32::SearchPathW(p 0, w "FTD2XX.dll", p 0, i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
    IntCmp $1 0 0 found found
    DetailPrint "${DRIVER_NOTE}"
    MessageBox MB_OK|MB_ICONINFORMATION "${DRIVER_NOTE}" /SD IDOK
found:
FunctionEnd

Section "TAVO"
    SetOutPath "$INSTDIR"
    File "${STAGE}/TAVO.exe"
!ifdef HAVE_TAVO_REC
    File "${STAGE}/tavo-rec.exe"
!endif
    ; The operator's Tavo.ini survives an upgrade: the default one goes only
    ; where there is none.
    SetOverwrite off
    File "${STAGE}/Tavo.ini"
    SetOverwrite on
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateShortcut "$SMPROGRAMS\TAVO.lnk" "$INSTDIR\TAVO.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "TAVO"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\TAVO.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1

    Call NoteMissingDriver
SectionEnd

; Names what stays in the installation folder: the operator's Tavo.ini and
; any file that was put there by hand.
Function un.TellWhatIsLeft
    IfFileExists "$INSTDIR\*.*" 0 done
    StrCpy $2 ""
    FindFirst $0 $1 "$INSTDIR\*.*"
next:
    StrCmp $1 "" listed
    StrCmp $1 "." skip
    StrCmp $1 ".." skip
    StrCmp $2 "" 0 +3
    StrCpy $2 "$1"
    Goto skip
    StrCpy $2 "$2, $1"
skip:
    FindNext $0 $1
    Goto next
listed:
    FindClose $0
    StrCmp $2 "" done
    DetailPrint "Left in $INSTDIR: $2"
    MessageBox MB_OK|MB_ICONINFORMATION "TAVO was removed. Left in $INSTDIR: $2" /SD IDOK
done:
FunctionEnd

Function un.onInit
    SetAutoClose true
FunctionEnd

Section "Uninstall"
    Delete "$INSTDIR\TAVO.exe"
    Delete "$INSTDIR\tavo-rec.exe"
    Delete "$INSTDIR\Uninstall.exe"
    Delete "$SMPROGRAMS\TAVO.lnk"
    ; Removed only when empty, so the operator's Tavo.ini stays.
    RMDir "$INSTDIR"
    Call un.TellWhatIsLeft
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

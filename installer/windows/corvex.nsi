; The Windows installer of Corvex, made by scripts/build-installer.sh with
; makensis from the files in dist/:
;   dist/windows-x64/Corvex.dll, Corvex.clap, Corvex.vst3/
;   dist/windows-x86/Corvex.dll, Corvex.clap, Corvex.vst3/
;   dist/windows-x64/CorvexRig.dll, CorvexRig.clap, CorvexRig.vst3/ (Corvex Rig),
;   and x86 likewise
;   resources/presets/*.fx?, resources/cabinet/*.wav
; It installs
;   - Corvex Rig's VST 2.4 DLLs beside the head's (CorvexRig.dll in both
;     folders), its CLAP plug-ins and VST3 bundles beside the head's; the rig's
;     ten factory programs are inside CorvexRig.dll / CorvexRig.clap (the
;     host's program or preset menu), its cabinets likewise;
;   - the 64-bit VST 2.4 plug-in into a folder the user picks
;     (default C:\Program Files\VstPlugins), on 64-bit Windows;
;   - the 32-bit VST 2.4 plug-in into a second folder the user picks
;     (default C:\Program Files (x86)\VstPlugins);
;   - the CLAP plug-ins into Common Files\CLAP (64-bit) and
;     Common Files (x86)\CLAP (32-bit), the VST3 bundles likewise into
;     Common Files\VST3 and Common Files (x86)\VST3;
;   - the factory programs and the cabinet response beside the 64-bit (or,
;     on 32-bit Windows, the 32-bit) plug-in, in a folder "Corvex", with the
;     uninstaller, which is registered with Windows (Apps and Features).
; Silent: Corvex-<version>-setup.exe /S [/VST64=<folder>] [/VST32=<folder>]
; (/D=<folder> also sets the 64-bit folder; it must come last).
; Uninstall silently: "<folder>\Corvex\Uninstall Corvex.exe" /S
;
; Defines from the command line: VERSION (x.y.z), DIST (the dist folder),
; RESOURCES (the resources folder), OUTFILE.

Unicode true
Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!ifndef VERSION
  !error "VERSION is not defined (scripts/build-installer.sh passes it)"
!endif
!define PRODUCT "Corvex"
!define PUBLISHER "Ardex Plugins"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvex"
!define SETTINGS_KEY "Software\Ardex Plugins\Corvex"
!define UNINSTALLER "Uninstall Corvex.exe"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\VstPlugins"
BrandingText "${PUBLISHER}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} valve amp head installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "2026 ${PUBLISHER}"

Var Vst32Dir
Var DataDir

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
; The 64-bit folder ($INSTDIR); skipped on 32-bit Windows.
!define MUI_PAGE_CUSTOMFUNCTION_PRE Skip64Page
!define MUI_DIRECTORYPAGE_TEXT_TOP "Folder for the 64-bit VST 2.4 plug-ins (Corvex.dll, CorvexRig.dll), one your 64-bit host scans. The factory programs and the cabinet go into a folder Corvex inside it."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "64-bit VST 2.4 plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY
; The 32-bit folder.
!define MUI_DIRECTORYPAGE_VARIABLE $Vst32Dir
!define MUI_DIRECTORYPAGE_TEXT_TOP "Folder for the 32-bit VST 2.4 plug-ins (Corvex.dll, CorvexRig.dll), one your 32-bit host scans. The CLAP plug-ins go into Common Files\CLAP."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "32-bit VST 2.4 plug-in folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  StrCpy $Vst32Dir "$PROGRAMFILES32\VstPlugins"
  ${If} ${RunningX64}
    SetRegView 64
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES32\VstPlugins"
  ${EndIf}
  ; A folder given before (an update) is offered again.
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst64Dir"
  ${If} $0 != ""
  ${AndIf} ${RunningX64}
    StrCpy $INSTDIR $0
  ${EndIf}
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst32Dir"
  ${If} $0 != ""
    StrCpy $Vst32Dir $0
  ${EndIf}
  ; Silent installs name the folders on the command line.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/VST64=" $0
  ${IfNot} ${Errors}
    StrCpy $INSTDIR $0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/VST32=" $0
  ${IfNot} ${Errors}
    StrCpy $Vst32Dir $0
  ${EndIf}
FunctionEnd

Function Skip64Page
  ${IfNot} ${RunningX64}
    Abort
  ${EndIf}
FunctionEnd

Section "Corvex" SecMain
  SectionIn RO
  ; One folder for both would leave only the last of the two DLLs.
  ${If} ${RunningX64}
  ${AndIf} $INSTDIR == $Vst32Dir
    MessageBox MB_OK|MB_ICONSTOP "The 64-bit and the 32-bit plug-in need two different folders." /SD IDOK
    Abort "The 64-bit and the 32-bit plug-in need two different folders."
  ${EndIf}
  ${If} ${RunningX64}
    StrCpy $DataDir "$INSTDIR\Corvex"
    SetOutPath "$INSTDIR"
    File "${DIST}\windows-x64\Corvex.dll"
    File "${DIST}\windows-x64\CorvexRig.dll"
    SetOutPath "$COMMONFILES64\CLAP"
    File "${DIST}\windows-x64\Corvex.clap"
    File "${DIST}\windows-x64\CorvexRig.clap"
    SetOutPath "$COMMONFILES64\VST3"
    File /r "${DIST}\windows-x64\Corvex.vst3"
    File /r "${DIST}\windows-x64\CorvexRig.vst3"
  ${Else}
    StrCpy $DataDir "$Vst32Dir\Corvex"
  ${EndIf}
  SetOutPath "$Vst32Dir"
  File "${DIST}\windows-x86\Corvex.dll"
  File "${DIST}\windows-x86\CorvexRig.dll"
  SetOutPath "$COMMONFILES32\CLAP"
  File "${DIST}\windows-x86\Corvex.clap"
  File "${DIST}\windows-x86\CorvexRig.clap"
  SetOutPath "$COMMONFILES32\VST3"
  File /r "${DIST}\windows-x86\Corvex.vst3"
  File /r "${DIST}\windows-x86\CorvexRig.vst3"

  SetOutPath "$DataDir\presets"
  File "${RESOURCES}\presets\*.fxp"
  File "${RESOURCES}\presets\*.fxb"
  SetOutPath "$DataDir\cabinet"
  File "${RESOURCES}\cabinet\*.wav"
  SetOutPath "$DataDir"
  WriteUninstaller "$DataDir\${UNINSTALLER}"

  ; Where everything went, for the uninstaller and the next update.
  WriteRegStr HKLM "${SETTINGS_KEY}" "Vst64Dir" "$INSTDIR"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Vst32Dir" "$Vst32Dir"
  WriteRegStr HKLM "${SETTINGS_KEY}" "DataDir" "$DataDir"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Version" "${VERSION}"
  ${If} ${RunningX64}
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "Has64" 1
  ${Else}
    WriteRegDWORD HKLM "${SETTINGS_KEY}" "Has64" 0
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$DataDir"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$DataDir\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$DataDir\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$DataDir" "/S=0K" $0 $1 $2
  IntOp $0 $0 + 6000
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

; Removes exactly the files the installer put down, then each folder it made
; if it is empty now (a plug-in folder the user keeps other plug-ins in stays).
Section "Uninstall"
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Vst64Dir"
  ReadRegStr $1 HKLM "${SETTINGS_KEY}" "Vst32Dir"
  ReadRegDWORD $2 HKLM "${SETTINGS_KEY}" "Has64"
  ; The uninstaller lives in the data folder.
  StrCpy $3 $INSTDIR

  ${If} $2 == 1
  ${AndIf} $0 != ""
    Delete "$0\Corvex.dll"
    Delete "$0\CorvexRig.dll"
    RMDir "$0"
    Delete "$COMMONFILES64\CLAP\Corvex.clap"
    Delete "$COMMONFILES64\CLAP\CorvexRig.clap"
    RMDir "$COMMONFILES64\CLAP"
    RMDir /r "$COMMONFILES64\VST3\Corvex.vst3"
    RMDir /r "$COMMONFILES64\VST3\CorvexRig.vst3"
    RMDir "$COMMONFILES64\VST3"
  ${EndIf}
  ${If} $1 != ""
    Delete "$1\Corvex.dll"
    Delete "$1\CorvexRig.dll"
  ${EndIf}
  Delete "$COMMONFILES32\CLAP\Corvex.clap"
  Delete "$COMMONFILES32\CLAP\CorvexRig.clap"
  RMDir "$COMMONFILES32\CLAP"
  RMDir /r "$COMMONFILES32\VST3\Corvex.vst3"
  RMDir /r "$COMMONFILES32\VST3\CorvexRig.vst3"
  RMDir "$COMMONFILES32\VST3"

  Delete "$3\presets\*.fxp"
  Delete "$3\presets\*.fxb"
  RMDir "$3\presets"
  Delete "$3\cabinet\*.wav"
  RMDir "$3\cabinet"
  Delete "$3\${UNINSTALLER}"
  RMDir "$3"
  ${If} $1 != ""
    RMDir "$1"
  ${EndIf}
  ${If} $0 != ""
    RMDir "$0"
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "Software\Ardex Plugins"
SectionEnd

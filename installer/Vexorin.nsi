; The Vexorin installer: one per-user setup holding both builds.
; tools/package.sh compiles it with makensis and defines
;   VERSION  the four-part version, e.g. 4.0.1.0
;   EXE64    the 64-bit Vexorin.exe;  EXE32  the 32-bit one
;   TEXTS    the folder with README.txt, LICENSE.txt and THIRD-PARTY.txt
;   ICON     the program's icon;  OUTFILE  the installer to write
; Nothing in it depends on the time or place of the build: file dates are
; not stored (SetDateSave off) and no date macro is used, so the same
; inputs give the same bytes.

Unicode true
SetCompressor /SOLID lzma
SetDateSave off
ManifestDPIAware true
RequestExecutionLevel user

!include MUI2.nsh
!include x64.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Vexorin"
!define PUBLISHER "The Vexorin developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define VERB_KEY "Software\Classes\*\shell\${PRODUCT}"
; Checksum files open with "Verify with Vexorin" by default, through a file
; type of the program's own; an extension that already has another type for
; this user keeps it and only lists ours under "Open with".
!define PROGID "${PRODUCT}.ChecksumFile"
!define PROGID_KEY "Software\Classes\${PROGID}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (c) ${PUBLISHER}. MIT licence."

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "Install ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} computes the digest or checksum of a text or a file.$\r$\n$\r$\n\
This setup installs it for you alone, without administrator rights, into$\r$\n\
$INSTDIR$\r$\n$\r$\n\
It adds:$\r$\n\
- the program (64-bit on 64-bit Windows, else 32-bit),$\r$\n\
- Start-menu and Send To entries,$\r$\n\
- $\"Check with ${PRODUCT}$\" on the right-click menu of files,$\r$\n\
- $\"Verify with ${PRODUCT}$\" as what opens checksum files (.sha256, .md5, ...),$\r$\n\
- an entry under installed apps that removes all of it.$\r$\n$\r$\n\
The program itself writes no files and no settings."
!insertmacro MUI_PAGE_WELCOME
; The MIT licence asks nothing of a user: the page informs, it does not
; ask for consent.
!define MUI_PAGE_HEADER_TEXT "Licence"
!define MUI_PAGE_HEADER_SUBTEXT "The terms under which ${PRODUCT} ${VERSION} comes to you."
!define MUI_LICENSEPAGE_TEXT_TOP "${PRODUCT} is free software under the MIT licence:"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "The licence asks nothing of you for using the program. \
Click Next to install."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${TEXTS}\LICENSE.txt"
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Vexorin.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "This removes ${PRODUCT} from your profile: the program and its \
texts, the Start-menu and Send To entries, $\"Check with ${PRODUCT}$\" on the right-click menu, \
$\"Verify with ${PRODUCT}$\" for checksum files and the entry in the list of installed apps. Other files in the folder stay."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Runs function fn with each checksum file extension in $R0.
!macro ForEachExtension fn
  !insertmacro WithExtension ${fn} .md5
  !insertmacro WithExtension ${fn} .sha1
  !insertmacro WithExtension ${fn} .sha224
  !insertmacro WithExtension ${fn} .sha256
  !insertmacro WithExtension ${fn} .sha384
  !insertmacro WithExtension ${fn} .sha512
  !insertmacro WithExtension ${fn} .sha3
  !insertmacro WithExtension ${fn} .b2
  !insertmacro WithExtension ${fn} .sfv
!macroend
!macro WithExtension fn ext
  StrCpy $R0 "${ext}"
  Call ${fn}
!macroend

Function AssociateExtension
  WriteRegStr HKCU "Software\Classes\$R0\OpenWithProgids" "${PROGID}" ""
  ReadRegStr $R4 HKCU "Software\Classes\$R0" ""
  ${If} $R4 == ""
  ${OrIf} $R4 == "${PROGID}"
    WriteRegStr HKCU "Software\Classes\$R0" "" "${PROGID}"
  ${EndIf}
FunctionEnd

Section "${PRODUCT}"
  ; %LOCALAPPDATA%\Programs may not exist yet: if this setup makes it, its
  ; uninstaller takes it away again when nothing else is in it.
  ${IfNot} ${FileExists} "$LOCALAPPDATA\Programs\*.*"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "MadeProgramsFolder" 1
  ${EndIf}
  SetOutPath "$INSTDIR"
  ; The same name for either build, so shortcuts and the verb never change.
  ${If} ${RunningX64}
    File "/oname=Vexorin.exe" "${EXE64}"
  ${Else}
    File "/oname=Vexorin.exe" "${EXE32}"
  ${EndIf}
  File "${TEXTS}\README.txt"
  File "${TEXTS}\LICENSE.txt"
  File "${TEXTS}\THIRD-PARTY.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Vexorin.exe"
  CreateShortcut "$SENDTO\${PRODUCT}.lnk" "$INSTDIR\Vexorin.exe"

  WriteRegStr HKCU "${VERB_KEY}" "" "Check with ${PRODUCT}"
  WriteRegStr HKCU "${VERB_KEY}" "Icon" "$INSTDIR\Vexorin.exe,0"
  WriteRegStr HKCU "${VERB_KEY}\command" "" '"$INSTDIR\Vexorin.exe" "%1"'

  WriteRegStr HKCU "${PROGID_KEY}" "" "Checksum file"
  WriteRegStr HKCU "${PROGID_KEY}\DefaultIcon" "" "$INSTDIR\Vexorin.exe,0"
  WriteRegStr HKCU "${PROGID_KEY}\shell" "" "verify"
  WriteRegStr HKCU "${PROGID_KEY}\shell\verify" "" "Verify with ${PRODUCT}"
  WriteRegStr HKCU "${PROGID_KEY}\shell\verify\command" "" '"$INSTDIR\Vexorin.exe" "%1"'
  !insertmacro ForEachExtension AssociateExtension
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'  ; SHCNE_ASSOCCHANGED

  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vexorin.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Deletes HKCU\key when it has neither subkeys nor values: a parent of the
; verb's key that the installer may have created, and that nothing else uses.
!macro un.DeleteKeyIfUnused key
  ClearErrors
  EnumRegKey $0 HKCU "${key}" 0
  EnumRegValue $1 HKCU "${key}" 0
  ${If} $0 == ""
  ${AndIf} $1 == ""
    DeleteRegKey /ifempty HKCU "${key}"
  ${EndIf}
!macroend

; Takes back what AssociateExtension wrote, and the extension's key when
; nothing else is left in it.
Function un.DissociateExtension
  DeleteRegValue HKCU "Software\Classes\$R0\OpenWithProgids" "${PROGID}"
  !insertmacro un.DeleteKeyIfUnused "Software\Classes\$R0\OpenWithProgids"
  ReadRegStr $R4 HKCU "Software\Classes\$R0" ""
  ${If} $R4 == "${PROGID}"
    DeleteRegValue HKCU "Software\Classes\$R0" ""
  ${EndIf}
  !insertmacro un.DeleteKeyIfUnused "Software\Classes\$R0"
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SENDTO\${PRODUCT}.lnk"
  DeleteRegKey HKCU "${VERB_KEY}"
  !insertmacro un.DeleteKeyIfUnused "Software\Classes\*\shell"
  !insertmacro un.DeleteKeyIfUnused "Software\Classes\*"
  DeleteRegKey HKCU "${PROGID_KEY}"
  !insertmacro ForEachExtension un.DissociateExtension
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  ReadRegDWORD $2 HKCU "${UNINSTALL_KEY}" "MadeProgramsFolder"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ; Only what the installer put there: a file of the user's keeps the folder.
  Delete "$INSTDIR\Vexorin.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  ${If} $2 == 1
    RMDir "$LOCALAPPDATA\Programs"
  ${EndIf}
SectionEnd

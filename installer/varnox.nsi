; The Varnox setup program, VarnoxSetup-VERSION.exe (NSIS 3, Unicode).
;
; Built by the windows-release build (installer/CMakeLists.txt) with:
;   VERSION     the project's version, e.g. 1.2.0
;   X64_DIR     folder with the 64-bit VarnoxMail.dll, VarnoxRegister.exe and
;               the help and support pages
;   X86_DIR     the same for 32-bit (optional: without it the setup carries
;               the 64-bit add-in only)
;   ICON        the product icon;  HEADER  the 150 by 57 page banner
;   SIDE        the 164 by 314 picture of the Finish page
;   OUTFILE     the setup program to write
;
; Installs for the current user without administrator rights: program files
; in %LOCALAPPDATA%\Programs\Varnox, the COM class under
; HKCU\Software\Classes, the Outlook add-in key and the Apps entry under
; HKCU. /AllUsers (administrators) installs into Program Files with the
; classes for the whole machine. Each DLL is registered through its own
; DllRegisterServer, by VarnoxRegister.exe of the same pointer size; on
; 64-bit Windows both DLLs are registered, so that 64-bit and 32-bit
; Outlook each find theirs.
;
; The settings key HKCU\Software\Varnox MSOutlook with the four paths, and
; the data files in %APPDATA%\Varnox, are laid down only where absent: an
; upgrade or a repair keeps the user's words, lists and settings. The
; uninstaller keeps them too unless "Also remove my word database and lists"
; is ticked (/RemoveData when silent).
;
; Silent: VarnoxSetup-VERSION.exe /S [/AllUsers], Uninstall.exe /S [/RemoveData].

Unicode true
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"

!define PRODUCT "Varnox"
!define PUBLISHER "Varnox"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnox"
!define SETTINGS_KEY "Software\Varnox MSOutlook"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Varnox"
SetCompressor /SOLID lzma
ShowInstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} spam filter add-in for Outlook: setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_BITMAP "${HEADER}"
!define MUI_HEADERIMAGE_UNBITMAP "${HEADER}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDE}"
; The uninstaller's one choice needs the page's whole width.
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_TEXT "Varnox is installed. Start (or restart) Outlook: the toolbar $\"Varnox$\" appears in its main window."

!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!define MUI_COMPONENTSPAGE_TEXT_TOP "Varnox will be removed. Your word database, sender lists and settings are kept unless you tick the box."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var AllUsers      ; 1: the machine-wide install
Var RegisterFlag  ; "/user" for the current user's classes, empty for the machine's
Var DataDir

; --- Helpers

; Where the shell context and the registration go: the current user, or
; with /AllUsers the machine (administrators only).
!macro ChooseScope UN
Function ${UN}ChooseScope
  StrCpy $AllUsers 0
  StrCpy $RegisterFlag "/user"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AllUsers" $1
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      MessageBox MB_ICONSTOP "Installing for all users needs administrator rights." /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
    StrCpy $RegisterFlag ""
    SetShellVarContext all
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ChooseScope ""
!insertmacro ChooseScope "un."

; $R0: a folder; $R0 again, as a path that code page 1252 can hold (the
; settings and the add-in read paths in that code page): the folder's short
; name when its long name holds other characters (a user name in Cyrillic).
Function PathFor1252
  System::Call 'kernel32::WideCharToMultiByte(i 1252, i 0x400, w R0, i -1, p 0, i 0, p 0, *i 0 r1) i .r2'
  ${If} $1 != 0
  ${OrIf} $2 == 0
    GetFullPathName /SHORT $R0 $R0
  ${EndIf}
FunctionEnd

; Registers ($R1 empty) or unregisters ($R1 "/u") the DLL of one pointer
; size ($R0: x64 or x86); the status is checked.
!macro RunRegister UN
Function ${UN}RunRegister
  ${If} $R0 == "x64"
    ${DisableX64FSRedirection}
  ${EndIf}
  ExecWait '"$INSTDIR\$R0\VarnoxRegister.exe" $R1 $RegisterFlag "$INSTDIR\$R0\VarnoxMail.dll"' $2
  ${If} $R0 == "x64"
    ${EnableX64FSRedirection}
  ${EndIf}
  ${If} $2 != 0
  ${AndIf} $R1 == ""
    MessageBox MB_ICONSTOP "Varnox ($R0) could not be registered (status $2)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RunRegister ""
!insertmacro RunRegister "un."

; Writes a settings path value only when it is absent.
!macro KeepOrSet NAME FILE
  ClearErrors
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "${NAME}"
  ${If} ${Errors}
    WriteRegStr HKCU "${SETTINGS_KEY}" "${NAME}" "$DataDir\${FILE}"
  ${EndIf}
!macroend

; Lays down an empty data file only when there is none.
!macro KeepOrCreate FILE TEXT
  ${IfNot} ${FileExists} "$DataDir\${FILE}"
    FileOpen $0 "$DataDir\${FILE}" w
    FileWrite $0 "${TEXT}"
    FileClose $0
  ${EndIf}
!macroend

; --- Install

Function .onInit
  Call ChooseScope
  ${If} $AllUsers == 1
    StrCpy $INSTDIR "$PROGRAMFILES64\Varnox"
  ${EndIf}
  !ifndef X86_DIR
    ${IfNot} ${RunningX64}
      MessageBox MB_ICONSTOP "This Varnox needs 64-bit Windows." /SD IDOK
      Abort
    ${EndIf}
  !endif
FunctionEnd

Section "Varnox" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=varnox.ico" "${ICON}"
  ${If} ${RunningX64}
    SetOutPath "$INSTDIR\x64"
    File "${X64_DIR}\VarnoxMail.dll"
    File "${X64_DIR}\VarnoxRegister.exe"
    File "${X64_DIR}\help.html"
    File "${X64_DIR}\support.html"
  ${EndIf}
  !ifdef X86_DIR
    SetOutPath "$INSTDIR\x86"
    File "${X86_DIR}\VarnoxMail.dll"
    File "${X86_DIR}\VarnoxRegister.exe"
    File "${X86_DIR}\help.html"
    File "${X86_DIR}\support.html"
  !endif
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The user's settings and data, only where absent. Settings are the
  ; current user's even in a machine-wide install.
  SetShellVarContext current
  StrCpy $R0 "$APPDATA\Varnox"
  CreateDirectory $R0
  Call PathFor1252
  StrCpy $DataDir $R0
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${EndIf}
  !insertmacro KeepOrSet "WordFilePath" "words.db"
  !insertmacro KeepOrSet "IgnoreFilePath" "ignore.txt"
  !insertmacro KeepOrSet "BlackListPath" "blacklist.xml"
  !insertmacro KeepOrSet "WhiteListPath" "whitelist.xml"
  ; The word database is made by the add-in on its first start.
  !insertmacro KeepOrCreate "ignore.txt" ""
  !insertmacro KeepOrCreate "blacklist.xml" "<BlackList />$\r$\n"
  !insertmacro KeepOrCreate "whitelist.xml" "<WhiteList />$\r$\n"

  ; The 32-bit DLL first: where a registry does not keep the two pointer
  ; sizes' classes apart (Wine's per-user classes), the 64-bit one is kept.
  StrCpy $R1 ""
  !ifdef X86_DIR
    StrCpy $R0 "x86"
    Call RunRegister
  !endif
  ${If} ${RunningX64}
    StrCpy $R0 "x64"
    Call RunRegister
  ${EndIf}

  ; The system's list of installed apps.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${If} $AllUsers == 1
    SetRegView 64
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varnox.ico"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; --- Uninstall

Section "un.Varnox (the program)" UnSecMain
  SectionIn RO
  StrCpy $R1 "/u"
  ${If} ${FileExists} "$INSTDIR\x64\VarnoxRegister.exe"
  ${AndIf} ${RunningX64}
    StrCpy $R0 "x64"
    Call un.RunRegister
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\x86\VarnoxRegister.exe"
    StrCpy $R0 "x86"
    Call un.RunRegister
  ${EndIf}
  RMDir /r "$INSTDIR\x64"
  RMDir /r "$INSTDIR\x86"
  Delete "$INSTDIR\varnox.ico"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  ${If} $AllUsers == 1
    SetRegView 64
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Also remove my word database and lists" UnSecData
  SetShellVarContext current
  ; The files the settings name, then the settings and our own folder.
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "WordFilePath"
  ${If} $0 != ""
    Delete $0
  ${EndIf}
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "IgnoreFilePath"
  ${If} $0 != ""
    Delete $0
  ${EndIf}
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "BlackListPath"
  ${If} $0 != ""
    Delete $0
  ${EndIf}
  ReadRegStr $0 HKCU "${SETTINGS_KEY}" "WhiteListPath"
  ${If} $0 != ""
    Delete $0
  ${EndIf}
  ; And those the setup laid down, should the settings name others now.
  Delete "$APPDATA\Varnox\words.db"
  Delete "$APPDATA\Varnox\ignore.txt"
  Delete "$APPDATA\Varnox\blacklist.xml"
  Delete "$APPDATA\Varnox\whitelist.xml"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  RMDir "$APPDATA\Varnox"
SectionEnd

; After the sections: it selects one by its index.
Function un.onInit
  Call un.ChooseScope
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/RemoveData" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${UnSecData} ${SF_SELECTED}
  ${EndIf}
FunctionEnd

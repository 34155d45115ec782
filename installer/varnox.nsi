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
; Started by hand, the setup first shows a welcome page that says what it
; installs, where and for whom, with Install and Cancel. Outlook holds the
; add-in's DLL while it runs, so files are replaced only once Outlook is
; closed: the setup (and the uninstaller) asks the user to close it, with
; Retry and Cancel.
;
; Silent: VarnoxSetup-VERSION.exe /S [/AllUsers], Uninstall.exe /S [/RemoveData].
; Exit status: 0 done; 1 cancelled by the user; 2 a DLL could not be
; registered; 32 (ERROR_SHARING_VIOLATION) Outlook is running, nothing was
; changed (silent only: by hand the user is asked); 740 /AllUsers without
; administrator rights.

Unicode true
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "x64.nsh"

!define PRODUCT "Varnox"
!define PUBLISHER "Varnox"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnox"
!define SETTINGS_KEY "Software\Varnox MSOutlook"
; Windows' "in use by another process", the silent setup's status when
; Outlook runs.
!define EXIT_OUTLOOK_RUNNING 32

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

; The welcome page's words for whom it installs (ending its sentence), and
; the folder of the user's data.
Var Scope
Var DataFolder
!define MUI_WELCOMEPAGE_TEXT "Setup will install Varnox, the spam filter add-in for Microsoft Outlook, $Scope$\r$\n$\r$\nThe program goes to:$\r$\n$INSTDIR$\r$\n$\r$\nYour word database and sender lists go to:$\r$\n$DataFolder$\r$\nThose you have are kept, and so are your settings.$\r$\n$\r$\nOutlook must be closed while Setup installs.$\r$\n$\r$\nClick Install to install Varnox, or Cancel to leave without changing anything."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CloseOutlookFirst
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!define MUI_COMPONENTSPAGE_TEXT_TOP "Varnox will be removed. Your word database, sender lists and settings are kept unless you tick the box."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE un.CloseOutlookFirst
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

; $0: 1 when Outlook runs where it may hold the installed add-in (an
; OUTLOOK.EXE in this Windows session, or in any session for the
; machine-wide install), else 0.
!macro OutlookRunning UN
Function ${UN}OutlookRunning
  StrCpy $0 0
  System::Call 'kernel32::GetCurrentProcessId() i .r3'
  System::Call 'kernel32::ProcessIdToSessionId(i r3, *i 0 r4)'
  System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r1'  ; TH32CS_SNAPPROCESS
  ${If} $1 == -1
    Return
  ${EndIf}
  ; PROCESSENTRY32W: size, usage, process id, heap, module, threads,
  ; parent, priority, flags, executable name.
  System::Call '*(&l4, i, i, p, i, i, i, i, i, &w260) p .r2'
  System::Call 'kernel32::Process32FirstW(p r1, p r2) i .r5'
  ${DoWhile} $5 != 0
    System::Call '*$2(i, i, i .r6, p, i, i, i, i, i, &w260 .r7)'
    ${If} $7 == "OUTLOOK.EXE"
      StrCpy $8 $4
      ${If} $AllUsers != 1
        System::Call 'kernel32::ProcessIdToSessionId(i r6, *i 0 r8)'
      ${EndIf}
      ${If} $8 == $4
        StrCpy $0 1
        ${Break}
      ${EndIf}
    ${EndIf}
    System::Call 'kernel32::Process32NextW(p r1, p r2) i .r5'
  ${Loop}
  System::Free $2
  System::Call 'kernel32::CloseHandle(p r1)'
FunctionEnd
!macroend
!insertmacro OutlookRunning ""
!insertmacro OutlookRunning "un."

; Before any file is touched: Outlook holds the add-in's DLL while it runs,
; and a DLL in use can be neither replaced nor removed. By hand the user is
; asked to close it (Retry) or to stay on the page (Cancel); silent, the
; program ends with EXIT_OUTLOOK_RUNNING, having changed nothing.
!macro CloseOutlookFirst UN VERB
Function ${UN}CloseOutlookFirst
  ${Do}
    Call ${UN}OutlookRunning
    ${If} $0 == 0
      Return
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel ${EXIT_OUTLOOK_RUNNING}
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Outlook is running. Please close Outlook, then click Retry: Varnox cannot be ${VERB} while Outlook uses it." IDRETRY retry
    Abort
    retry:
  ${Loop}
FunctionEnd
!macroend
!insertmacro CloseOutlookFirst "" "installed"
!insertmacro CloseOutlookFirst "un." "removed"

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
  ${If} $AllUsers == 1
    StrCpy $Scope "for every user of this computer (each keeps words, lists and settings of their own)."
  ${Else}
    StrCpy $Scope "for you alone (no administrator rights are needed)."
  ${EndIf}
  SetShellVarContext current
  StrCpy $DataFolder "$APPDATA\Varnox"
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${EndIf}
  ; Silent, there is no page to leave: Outlook is looked for here.
  ${If} ${Silent}
    Call CloseOutlookFirst
  ${EndIf}
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
    ; Beside it: the second judge's file and the images of both.
    Delete "$0.image"
    Delete "$0.second"
    Delete "$0.second.image"
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
  Delete "$APPDATA\Varnox\words.db.image"
  Delete "$APPDATA\Varnox\words.db.second"
  Delete "$APPDATA\Varnox\words.db.second.image"
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
  ${If} ${Silent}
    Call un.CloseOutlookFirst
  ${EndIf}
FunctionEnd

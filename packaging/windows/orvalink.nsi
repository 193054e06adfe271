; Setup program for orvalink on Windows: installs the package folder
; (the MEX file, brindle, the tools and their data) and puts it on MATLAB's
; path through brindle's SetMatlabPath. Made by the CMake target
; `installer`, which defines VERSION, ARCH (win32 or win64), STAGE (the
; staged package folder), FILES (the lists of installed files made from it
; and from earlier releases' lists), PATHREMOVE (the library that takes entry
; lines out), LICENSE, OUTFILE and DESCRIBE_UNINSTALLER (the command that
; gives the uninstaller its own description).
;
; Silent: setup.exe /S /MATLAB=<MATLAB folder> /D=<install folder>
; Exit code 0 on success; 2 when an input is refused (nothing written); 3
; when the path update or a file fails (everything this run changed is put
; back as it was, an earlier copy of orvalink included); 4 when installed
; files, pathdef.m or pathdef.old are in use; 5 when another setup or uninstall is
; running; 6 when a newer orvalink is installed (nothing written); 7 when
; installed but pathdef.m has no END ENTRIES line, so the package is not on
; MATLAB's path. The reason goes to orvalink-setup.log in the install
; folder, or in %TEMP% when nothing was installed; the uninstaller's to
; %TEMP%\orvalink-uninstall.log. Logs are UTF-16 with a byte-order mark, so
; that any folder name appears whole.

Unicode true
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include TextFunc.nsh
!include nsDialogs.nsh
!include MUI2.nsh
!include "${FILES}"

!if "${ARCH}" == "win64"
  !define OTHER_ARCH win32
  !define BITS 64
  !define OTHER_BITS 32
  Target amd64-unicode
  InstallDir "$PROGRAMFILES64\orvalink"
!else
  !define OTHER_ARCH win64
  !define BITS 32
  !define OTHER_BITS 64
  Target x86-unicode
  InstallDir "$PROGRAMFILES\orvalink"
!endif

Name "orvalink ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "orvalink ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "orvalink"
VIAddVersionKey /LANG=1033 "CompanyName" "The orvalink developers"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 The orvalink developers, MIT License"
; "installer" becomes "uninstall" in the uninstaller (same length, patched in place).
VIAddVersionKey /LANG=1033 "FileDescription" "orvalink ${VERSION} installer (${BITS}-bit)"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
ShowInstDetails show
ShowUninstDetails show
!uninstfinalize '${DESCRIBE_UNINSTALLER} "%1"'

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\orvalink"
!define MAX_PACKAGE 103
!define MAX_DEFINITION 108
!define LOG_NAME "orvalink-setup.log"
!define UNINSTALL_LOG_NAME "orvalink-uninstall.log"

Var Matlab        ; the MATLAB folder, without a trailing backslash
Var Definition    ; <MATLAB folder>\toolbox\local\ (ends with a backslash)
Var KeptOld       ; an earlier pathdef.old, kept under this name ("" when there was none)
Var Problem       ; why an input is refused ("" when it is not)
Var MatlabField   ; the MATLAB folder page's text field
Var Earlier       ; the folder of an earlier install of orvalink ("" when there is none)
Var ReadOnly      ; 1 when pathdef.m was read-only: it is made so again after each change
Var EarlierDefinition ; the folder of the pathdef.m the earlier install registered in
Var LogPath       ; where Tell writes its lines ("" for the details only)
Var EarlierNote   ; what was done before the log started, for its first lines
Var EarlierVersion ; the version of the earlier install (its Add/Remove entry)
Var Hold          ; where what setup changes is copied first, to put back after a failure ("" before)
Var Outcome       ; what putting it back came to (said in the failure's message)
Var PutBackName   ; the user's pathdef.old that an earlier setup had kept under this name, named pathdef.old again
Var OldCopied     ; 1 once this run's pathdef.old is written
Var RunBySetup    ; 1 when an older setup runs this uninstaller and waits for it
Var UserEntries   ; the user's own entry lines of the package's folders, packed (CountMatlabPathEntries)

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs orvalink ${VERSION}, the Simulink block that flies your flight model in FlightGear, with its tools, and puts it on MATLAB's path.$\r$\n$\r$\nClose MATLAB before you go on."
!insertmacro MUI_PAGE_WELCOME
; MIT asks nothing of a user: the license is shown as information, not as a contract.
!define MUI_PAGE_HEADER_TEXT "License"
!define MUI_PAGE_HEADER_SUBTEXT "orvalink is free software under the MIT License."
!define MUI_LICENSEPAGE_TEXT_TOP "For your information: the license under which orvalink comes."
!define MUI_LICENSEPAGE_TEXT_BOTTOM "It lets you use, copy, change and pass on orvalink, and asks only that the notice stays with copies. There is nothing to accept."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom MatlabPage MatlabLeave
; The details (an earlier copy taken out, files kept, backups, warnings) stay in view until Next.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "orvalink is installed"
; No folder in this text: a long path would wrap in the middle of a name.
; The large text area leaves room above the README box for every paragraph.
!define MUI_FINISHPAGE_TEXT_LARGE
!if "${ARCH}" == "win64"
  !define MUI_FINISHPAGE_TEXT "Restart MATLAB (64-bit, R2006b or later), then type build_orvalink once in each release you use: it builds the blocks from orvalink.cpp and orvalink_controls.cpp (you need a C++ compiler set up for mex), and from R2010a their library.$\r$\n$\r$\nThen, in R2018a or later, type orvalink_demo to open a model that flies a sample flight, or drag the FlightGear link and FlightGear controls blocks from the Library Browser into your model. README.txt tells the rest."
  !define NEXT_STEP "Next: restart MATLAB, then type build_orvalink once in each release you use, then orvalink_demo (R2018a or later)."
!else
  !define MUI_FINISHPAGE_TEXT "In a 32-bit MATLAB (R2015b or earlier) the FlightGear link block is ready, as orvalink.mexw32 (and orvalink.dll for 7.0.4 and earlier): restart MATLAB and give an S-Function block the S-function name orvalink and the parameters 0.05, '127.0.0.1', 5500 (util\orvalink-fly relays its packets to FlightGear).$\r$\n$\r$\nFor the FlightGear controls block and, from R2010a, the library, type build_orvalink (it needs a C++ compiler set up for mex). README.txt tells the rest."
  !define NEXT_STEP "Next: restart MATLAB; the block orvalink is ready (an S-Function block named orvalink). build_orvalink builds the controls block and, from R2010a, the library."
!endif
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- Reports -----------------------------------------------------------

; Appends a line to a log in UTF-16 (little-endian, with a byte-order mark),
; so that folder names outside the ANSI code page appear whole. An older
; setup's log, written in the ANSI code page, is started anew.
!macro AppendLog path text
  Push $9
  Push $8
  ClearErrors
  FileOpen $9 "${path}" r
  ${IfNot} ${Errors}
    FileReadWord $9 $8
    FileClose $9
    ${IfThen} $8 != 65279 ${|} Delete "${path}" ${|}
  ${EndIf}
  ClearErrors
  FileOpen $9 "${path}" a
  ${IfNot} ${Errors}
    FileSeek $9 0 END $8
    ${IfThen} $8 == 0 ${|} FileWriteWord $9 65279 ${|}
    FileWriteUTF16LE $9 "${text}$\r$\n"
    FileClose $9
  ${EndIf}
  ClearErrors
  Pop $8
  Pop $9
!macroend

; Appends a line to the log in the install folder, or in %TEMP% when nothing is installed there.
!macro LogTo folder text
  !insertmacro AppendLog "${folder}\${LOG_NAME}" "${text}"
!macroend

; A line for the details and for the log at $LogPath.
!macro Tell text
  DetailPrint "${text}"
  ${If} $LogPath != ""
    !insertmacro AppendLog "$LogPath" "${text}"
  ${EndIf}
!macroend

; Says why setup stops: a message box, or the log when silent; then quits with `code`.
!macro Stop folder text code
  SetDetailsPrint both
  DetailPrint "${text}"
  !insertmacro LogTo "${folder}" "${text}"
  MessageBox MB_OK|MB_ICONSTOP "${text}" /SD IDOK
  SetErrorLevel ${code}
  Quit
!macroend

; A failure once setup has begun to change things: all it changed goes back
; (PutBack), and the message says so; exit code 3.
!macro Fail text
  Call PutBack
  !insertmacro Stop "$TEMP" "${text} $Outcome" 3
!macroend

; ---- The MATLAB folder ---------------------------------------------------

; The newest MATLAB that the registry names and that is still there, or "".
Function NewestMatlab
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 ""   ; newest version so far
  StrCpy $2 ""   ; its MATLABROOT
  StrCpy $0 0
  ${Do}
    ClearErrors
    EnumRegKey $1 HKLM "SOFTWARE\MathWorks\MATLAB" $0
    ${If} ${Errors}
    ${OrIf} $1 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $0 $0 + 1
    ReadRegStr $R0 HKLM "SOFTWARE\MathWorks\MATLAB\$1" "MATLABROOT"
    ; A key left behind by a removed MATLAB names a folder that is gone.
    ${If} $R0 != ""
    ${AndIf} ${FileExists} "$R0\*.*"
      ${If} $3 == ""
        StrCpy $3 $1
        StrCpy $2 $R0
      ${Else}
        ${VersionCompare} $1 $3 $R1
        ${If} $R1 == 1
          StrCpy $3 $1
          StrCpy $2 $R0
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${Loop}
  StrCpy $R0 $2
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  ClearErrors
FunctionEnd

; The value of /MATLAB= in $R0; the error flag when there is none. Takes
; /MATLAB=C:\M, /MATLAB="C:\Program Files\M" and "/MATLAB=C:\Program Files\M",
; the form in which a program passes an argument with blanks.
Function MatlabOption
  ${GetParameters} $R2
  StrLen $R3 $R2
  StrCpy $R4 0
  ${Do}
    ${If} $R4 >= $R3
      SetErrors
      Return
    ${EndIf}
    StrCpy $R5 $R2 8 $R4
    ${IfThen} $R5 == "/MATLAB=" ${|} ${ExitDo} ${|}
    IntOp $R4 $R4 + 1
  ${Loop}
  StrCpy $R7 ""   ; the character before the option
  ${If} $R4 > 0
    IntOp $R6 $R4 - 1
    StrCpy $R7 $R2 1 $R6
  ${EndIf}
  IntOp $R4 $R4 + 8
  StrCpy $R0 $R2 "" $R4
  StrCpy $R5 $R0 1
  ${If} $R5 == '"'
    StrCpy $R0 $R0 "" 1
    StrCpy $R7 '"'
  ${EndIf}
  ; The value ends at the closing quote, or else at the next option.
  StrLen $R3 $R0
  StrCpy $R4 0
  ${DoWhile} $R4 < $R3
    StrCpy $R5 $R0 1 $R4
    ${If} $R7 == '"'
      ${IfThen} $R5 == '"' ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $R5 $R0 2 $R4
      ${IfThen} $R5 == " /" ${|} ${ExitDo} ${|}
    ${EndIf}
    IntOp $R4 $R4 + 1
  ${Loop}
  StrCpy $R0 $R0 $R4
  ClearErrors
FunctionEnd

; The error flag when the command line holds a quoted "/D=...", which NSIS
; ignores (it takes /D= only last and unquoted) and would install elsewhere.
Function QuotedInstallOption
  ${GetParameters} $R2
  StrLen $R3 $R2
  StrCpy $R4 0
  ClearErrors
  ${DoWhile} $R4 < $R3
    StrCpy $R5 $R2 4 $R4
    ${If} $R5 S== '"/D='
      SetErrors
      Return
    ${EndIf}
    IntOp $R4 $R4 + 1
  ${Loop}
FunctionEnd

Function SetMatlab   ; $R0: the MATLAB folder as given
  ; Without quotes (no Windows path holds one): "/MATLAB=C:\Program Files\MATLAB" arrives with one left over.
  StrCpy $Matlab ""
  StrCpy $R1 0
  ${Do}
    StrCpy $R2 $R0 1 $R1
    ${IfThen} $R2 == "" ${|} ${ExitDo} ${|}
    ${IfThen} $R2 != '"' ${|} StrCpy $Matlab "$Matlab$R2" ${|}
    IntOp $R1 $R1 + 1
  ${Loop}
  ${Do}
    StrCpy $R1 $Matlab "" -1
    ${IfThen} $R1 != "\" ${|} ${ExitDo} ${|}
    StrCpy $Matlab $Matlab -1
  ${Loop}
  StrCpy $Definition "$Matlab\toolbox\local\"
FunctionEnd

; ---- An earlier install ----------------------------------------------------

; Takes the entry lines of `folder` out of `definition`pathdef.m, however
; savepath laid them out: pathdef.m's editor, pathremove.dll, is carried in
; this program. $0: the lines taken out, -1 or "error" on failure.
!macro CallPathRemove call
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${PATHREMOVE}"
  System::Call '"$PLUGINSDIR\pathremove.dll"::${call} ?cu'
  SetOutPath "$TEMP"
!macroend

; `keep`: the user's own entry lines of the folders, there before the install
; (CountMatlabPathEntries's count, kept in install.ini): they stay.
!macro RemoveEntriesOf folder definition keep
  ${GetFileAttributes} "${definition}pathdef.m" "READONLY" $R7
  ${IfThen} $R7 == 1 ${|} SetFileAttributes "${definition}pathdef.m" NORMAL ${|}
  !insertmacro CallPathRemove 'RemoveMatlabPathKeeping(m "${folder}", m "${definition}", i ${keep}) i .r0'
  ${IfThen} $R7 == 1 ${|} SetFileAttributes "${definition}pathdef.m" READONLY ${|}
!macroend

; The user's own entry lines of an install's folders, as its install.ini
; recorded them: 0 when it recorded none (earlier releases did not count).
!macro UserEntriesOf folder var
  ReadINIStr ${var} "${folder}\install.ini" "orvalink" "user"
  ${IfThen} ${var} == "" ${|} StrCpy ${var} 0 ${|}
!macroend

; Setup's own pathdef.old, recorded at install by size and time: the
; uninstaller removes it only when it is as setup left it, and then puts the
; user's earlier pathdef.old (kept as pathdef.old.N) back, so that reinstalls
; leave one backup.
!macro RecordBackup
  GetFileTime "$Definitionpathdef.old" $R5 $R6
  FileOpen $R4 "$Definitionpathdef.old" r
  FileSeek $R4 0 END $R3
  FileClose $R4
  WriteINIStr "$INSTDIR\install.ini" "orvalink" "backup" "$R3 $R5 $R6"
!macroend

!macro RemoveOwnBackup folder definition
  ReadINIStr $R0 "${folder}\install.ini" "orvalink" "backup"
  ReadINIStr $R1 "${folder}\install.ini" "orvalink" "kept"
  ${If} $R0 != ""
  ${AndIf} ${FileExists} "${definition}pathdef.old"
    GetFileTime "${definition}pathdef.old" $R5 $R6
    FileOpen $R4 "${definition}pathdef.old" r
    FileSeek $R4 0 END $R3
    FileClose $R4
    ${If} $R0 == "$R3 $R5 $R6"
      SetDetailsPrint none
      Delete "${definition}pathdef.old"
      ${If} $R1 != ""
        ClearErrors
        Rename "${definition}$R1" "${definition}pathdef.old"
        ${IfNotThen} ${Errors} ${|} StrCpy $PutBackName $R1 ${|}
      ${EndIf}
      SetDetailsPrint both
      !insertmacro Tell "Removed the copy of the path definition that setup had kept, ${definition}pathdef.old."
      ${If} $R1 != ""
        !insertmacro Tell "Put your earlier ${definition}pathdef.old back (setup had kept it as $R1)."
      ${EndIf}
    ${Else}
      !insertmacro Tell "Kept ${definition}pathdef.old: it changed after setup made it."
    ${EndIf}
  ${EndIf}
!macroend

; Files in use (MATLAB holds the block, a tool runs): found before anything
; changes; Retry or Cancel, and when silent exit code 4.
!macro StopWhileFilesInUse
  ${Do}
    !insertmacro FindInstalledFileInUse
    ${IfThen} $R9 == "" ${|} ${ExitDo} ${|}
    StrCpy $R9 "$R9 is in use, probably by MATLAB or an orvalink tool. Close MATLAB and the tools, then try again. Nothing was changed."
    ${If} ${Silent}
      !insertmacro LogTo "$INSTDIR" "$R9"
      ${IfThen} $LogPath != "" ${|} !insertmacro AppendLog "$LogPath" "$R9" ${|}
      SetErrorLevel 4
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R9" IDRETRY +3
    SetErrorLevel 4
    Quit
  ${Loop}
!macroend

; pathdef.m or pathdef.old held open by another program (MATLAB's editor, a text editor):
; found before anything changes, as for installed files. Opening it for
; reading and writing, sharing nothing, fails with a sharing or lock
; violation (32, 33) exactly when another program has it open.
!macro StopWhilePathdefLocked definition log
  ${Do}
    StrCpy $R9 ""
    ${If} ${FileExists} "${definition}pathdef.m"
      System::Call 'kernel32::CreateFileW(w "${definition}pathdef.m", i 0xC0000000, i 0, p 0, i 3, i 0x80, p 0) p .R8 ?e'
      Pop $R7
      ${If} $R8 P<> -1
        System::Call 'kernel32::CloseHandle(p R8)'
      ${ElseIf} $R7 == 32
      ${OrIf} $R7 == 33
        StrCpy $R9 "${definition}pathdef.m is open in another program, which locks it: probably MATLAB or an editor. Close it there, then try again. Nothing was changed."
      ${EndIf}
    ${EndIf}
    ; Setup renames or replaces pathdef.old, the copy it keeps: in use, it would fail half-way.
    ${If} $R9 == ""
    ${AndIf} ${FileExists} "${definition}pathdef.old"
      System::Call 'kernel32::CreateFileW(w "${definition}pathdef.old", i 0xC0000000, i 0, p 0, i 3, i 0x80, p 0) p .R8 ?e'
      Pop $R7
      ${If} $R8 P<> -1
        System::Call 'kernel32::CloseHandle(p R8)'
      ${ElseIf} $R7 == 32
      ${OrIf} $R7 == 33
        StrCpy $R9 "${definition}pathdef.old is in use: another program has it open. Close it there, then try again. Nothing was changed."
      ${EndIf}
    ${EndIf}
    ${IfThen} $R9 == "" ${|} ${ExitDo} ${|}
    ${If} ${Silent}
      !insertmacro AppendLog "${log}" "$R9"
      SetErrorLevel 4
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R9" IDRETRY +3
    SetErrorLevel 4
    Quit
  ${Loop}
!macroend

; $Earlier: where the uninstall key says orvalink is installed, when that folder is still there.
Function FindEarlierInstall
  ReadRegStr $Earlier HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $Earlier != ""
  ${AndIfNot} ${FileExists} "$Earlier\install.ini"
  ${AndIfNot} ${FileExists} "$Earlier\uninstall.exe"
    StrCpy $Earlier ""
  ${EndIf}
FunctionEnd

; Two copies on MATLAB's path would leave it loading the first one's block:
; another folder than the earlier install's is refused when silent.
Function CheckEarlierInstall
  StrCpy $Problem ""
  ${If} $Earlier != ""
  ${AndIf} $Earlier != $INSTDIR
    StrCpy $Problem "orvalink is already installed in $Earlier. Uninstall it first, or install into that folder: with two copies on its path, MATLAB would load the first one's block."
  ${EndIf}
FunctionEnd

; A newer orvalink than this setup's: silently refused (exit 6); asked otherwise.
Function CheckNewerInstall
  ${If} $Earlier == ""
    Return
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $R0 == ""
    Return
  ${EndIf}
  ${VersionCompare} $R0 "${VERSION}" $R1
  ${If} $R1 == 1
    StrCpy $R9 "orvalink $R0 is installed in $Earlier, newer than this setup's ${VERSION}. Nothing was changed: to go back to ${VERSION}, uninstall $R0 first, or run this setup without /S and confirm."
    MessageBox MB_YESNO|MB_ICONQUESTION "orvalink $R0 is installed in $Earlier, newer than this setup's ${VERSION}. Replace it with the older ${VERSION}?" /SD IDNO IDYES replace_newer
    !insertmacro LogTo "$TEMP" "$R9"
    SetErrorLevel 6
    Quit
  replace_newer:
  ${EndIf}
FunctionEnd

; An earlier install is taken out here, never by its own uninstaller: the
; 1.1.0 uninstaller removed whole folders, with the user's files in them.
; First its entry lines, where it registered elsewhere than this install
; will (pathdef.m of another MATLAB): before any file changes.
Function RemoveEarlierEntries
  StrCpy $EarlierDefinition ""
  ${If} $Earlier == ""
    Return
  ${EndIf}
  ReadINIStr $EarlierDefinition "$Earlier\install.ini" "orvalink" "definition"
  ${If} $EarlierDefinition == ""
  ${OrIfNot} ${FileExists} "$EarlierDefinitionpathdef.m"
    Return
  ${EndIf}
  ${If} $Earlier == $INSTDIR
  ${AndIf} $EarlierDefinition == $Definition
    Return   ; the lines of this folder in this pathdef.m go next
  ${EndIf}
  !insertmacro UserEntriesOf "$Earlier" $R1
  !insertmacro RemoveEntriesOf "$Earlier" "$EarlierDefinition" "$R1"
  ${If} $0 == -1
  ${OrIf} $0 == "error"
    !insertmacro Fail "Could not rewrite $EarlierDefinitionpathdef.m to take out the earlier orvalink's entry lines. Is the file writable?"
  ${EndIf}
  StrCpy $EarlierNote "Moved orvalink's registration from $EarlierDefinitionpathdef.m (took its $0 entry lines out) to $Definitionpathdef.m: one MATLAB holds orvalink's entries."
  DetailPrint "$EarlierNote"
FunctionEnd

; Then the backup its setup kept, and its files by name, from the lists of
; what this and every earlier release installed; folders only when empty.
; Whatever else is there is the user's: it stays, and is named.
Function RemoveEarlierCopy
  ${If} $Earlier == ""
    Return
  ${EndIf}
  ${If} $EarlierDefinition != ""
    !insertmacro RemoveOwnBackup "$Earlier" "$EarlierDefinition"
  ${EndIf}
  ReadRegStr $EarlierVersion HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  SetDetailsPrint none
  !insertmacro RemoveEarlierFiles
  Delete "$Earlier\install.ini"
  Delete "$Earlier\uninstall.exe"
  ${If} $Earlier != $INSTDIR
    Delete "$Earlier\${LOG_NAME}"
    RMDir "$Earlier"
  ${EndIf}
  SetDetailsPrint both
  ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  !insertmacro Tell "Took out the earlier orvalink $R2 in $Earlier, file by file: files that setup did not install stay."
  !insertmacro TellKeptFiles "$Earlier"
  ; Its Add/Remove entry goes when this install is complete.
FunctionEnd

; $R1: a text file an earlier release installed; $R2: " h1 h2 ", the hashes
; of what that release shipped there (pathremove's FileHash), "" when its
; list does not say; $R3: 1 when this release installs it too. Deleted when
; it is what was shipped (or that is not known); otherwise the user changed
; it, and it is kept beside, as <name>.edited (.edited2, ... when taken),
; named in the details and the log.
Function RemoveUnlessEdited
  ${IfNot} ${FileExists} "$R1"
    Return
  ${EndIf}
  ${If} $R2 == ""
    Delete "$R1"
    Return
  ${EndIf}
  !insertmacro CallPathRemove 'FileHash(m "$R1") i .r0'
  StrCpy $R5 " $0 "
  StrLen $R6 $R5
  StrLen $R7 $R2
  StrCpy $R8 0
  ${DoWhile} $R8 < $R7
    StrCpy $R4 $R2 $R6 $R8
    ${If} $R4 == $R5
    ${AndIf} $0 != 0
      Delete "$R1"
      Return
    ${EndIf}
    IntOp $R8 $R8 + 1
  ${Loop}
  StrCpy $R4 "$R1.edited"
  StrCpy $R5 1
  ${While} ${FileExists} "$R4"
    IntOp $R5 $R5 + 1
    StrCpy $R4 "$R1.edited$R5"
  ${EndWhile}
  SetDetailsPrint both
  ClearErrors
  Rename "$R1" "$R4"
  ; Left in place, it would be overwritten or deleted.
  ${If} ${Errors}
    !insertmacro Fail "Could not keep $R1, which you had changed, as $R4. Is the folder writable?"
  ${EndIf}
  ; The held copy puts $R1 back after a failure; this name then goes.
  FileOpen $R6 "$Hold\edited.txt" a
  FileSeek $R6 0 END
  FileWriteUTF16LE $R6 "$R4$\r$\n"
  FileClose $R6
  ${If} $R3 == 1
    !insertmacro Tell "Kept $R1, which you had changed, as $R4: this release installs its own $R1."
  ${Else}
    !insertmacro Tell "Kept $R1, which you had changed, as $R4: this release no longer installs it."
  ${EndIf}
  SetDetailsPrint none
FunctionEnd

; ---- Checks, before anything is written ------------------------------------

Function CheckInstallFolder
  StrCpy $Problem ""
  StrLen $R0 $INSTDIR
  StrCpy $R1 $INSTDIR "" -1
  ${If} $INSTDIR == ""
    StrCpy $Problem "No install folder was given."
  ${ElseIf} $R0 > ${MAX_PACKAGE}
    StrCpy $Problem "The install folder $INSTDIR has $R0 characters; MATLAB's path entries take at most ${MAX_PACKAGE}. Choose a shorter folder."
  ${ElseIf} $R1 == "\"
    StrCpy $Problem "The install folder $INSTDIR ends with a backslash. Give it without one."
  ${Else}
    Call CheckFolderCharacters
  ${EndIf}
  ${If} $Problem == ""
    StrCpy $R2 $INSTDIR 2
    StrCpy $R3 $INSTDIR 1 1
    StrCpy $R4 $INSTDIR 1 2
    StrCpy $R5 $INSTDIR 3
    ${If} $R2 == "\\"
      StrCpy $Problem "The install folder $INSTDIR is a network folder: install on a drive of this computer, such as C:\Program Files\orvalink."
    ${ElseIf} $R3 != ":"
    ${OrIf} $R4 != "\"
    ${OrIf} $R0 < 4
      StrCpy $Problem "The install folder $INSTDIR is not a whole folder name: give its drive and path, such as C:\Tools\orvalink."
    ${ElseIfNot} ${FileExists} "$R5*.*"
      StrCpy $Problem "The install folder $INSTDIR is on drive $R2, which this computer does not have."
    ${EndIf}
  ${EndIf}
FunctionEnd

; $R0: the install folder as the command line gives it after " /D=" (NSIS
; takes the rest of the line), or "" when there is none.
Function InstallOptionGiven
  System::Call 'kernel32::GetCommandLineW() w .R2'
  StrLen $R3 $R2
  StrCpy $R4 0
  StrCpy $R0 ""
  ${DoWhile} $R4 < $R3
    StrCpy $R5 $R2 4 $R4
    ${If} $R5 S== " /D="
      IntOp $R4 $R4 + 4
      StrCpy $R0 $R2 "" $R4
      ${ExitDo}
    ${EndIf}
    IntOp $R4 $R4 + 1
  ${Loop}
FunctionEnd

; Printable ASCII that a Windows folder name may hold, but for ' and ; (refused with their own reason).
!define FOLDER_CHARACTERS "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 !#$$%&()+,-.=@[]^_`{}~\:"

; MATLAB's path definition quotes each folder and separates folders with ';',
; and reads the file as UTF-8 while the setup writes the ANSI code page: so
; the install folder may hold printable ASCII only, without ' and ;.
Function CheckFolderCharacters
  StrCpy $R2 0
  ${Do}
    StrCpy $R3 $INSTDIR 1 $R2
    ${IfThen} $R3 == "" ${|} ${Break} ${|}
    ${If} $R3 == "'"
      StrCpy $Problem "The install folder $INSTDIR holds a quote ('), which would break MATLAB's whole path definition. Choose a folder without one."
      Return
    ${ElseIf} $R3 == ";"
      StrCpy $Problem "The install folder $INSTDIR holds a semicolon (;), which MATLAB's path takes as a separator. Choose a folder without one."
      Return
    ${ElseIf} $R3 == "?"
    ${OrIf} $R3 == "|"
    ${OrIf} $R3 == "*"
    ${OrIf} $R3 == "<"
    ${OrIf} $R3 == ">"
    ${OrIf} $R3 == "/"
    ${OrIf} $R3 == '"'
      StrCpy $Problem "The install folder $INSTDIR holds the character $R3, which no Windows folder name may hold. Choose another folder."
      Return
    ${EndIf}
    StrCpy $R4 0
    ${Do}
      StrCpy $R5 "${FOLDER_CHARACTERS}" 1 $R4
      ${If} $R5 == ""
        StrCpy $Problem "The install folder $INSTDIR holds the character $R3, which is not printable ASCII: setup writes MATLAB's path definition in the ANSI code page, and MATLAB reads it as UTF-8, so MATLAB would read the folder's name differently. Nothing was installed. Choose a folder named with plain letters, digits and punctuation, or put orvalink in this one by hand: unpack orvalink-${VERSION}-${ARCH}.zip into it and type at MATLAB's prompt: addpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
        Return
      ${EndIf}
      ${IfThen} $R5 S== $R3 ${|} ${Break} ${|}
      IntOp $R4 $R4 + 1
    ${Loop}
    IntOp $R2 $R2 + 1
  ${Loop}
FunctionEnd

; What a user can do when setup cannot register the package with a MATLAB.
!define BY_HAND "Nothing was installed. Choose another MATLAB folder, or put orvalink on this MATLAB's path by hand: unpack orvalink-${VERSION}-${ARCH}.zip into $INSTDIR and type at MATLAB's prompt: addpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"

; $R0 = 1 when the ANSI code page, in which brindle and pathremove take
; folder names, cannot hold the name of the MATLAB folder.
Function MatlabOutsideCodePage
  StrCpy $R0 0
  System::Call 'kernel32::GetACP() i .R1'
  ${IfThen} $R1 == 65001 ${|} Return ${|}   ; UTF-8 holds every name
  System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w "$Matlab", i -1, p 0, i 0, p 0, *i 0 R0) i .R1'
  ${IfThen} $R1 == 0 ${|} StrCpy $R0 1 ${|}
FunctionEnd

Function CheckMatlabFolder
  StrCpy $Problem ""
  StrLen $R0 $Definition
  ${If} $Matlab == ""
    StrCpy $Problem "No ${BITS}-bit MATLAB was found: the registry names none whose folder is there. Choose the folder MATLAB is installed in (silently: /MATLAB=<folder>); for a ${OTHER_BITS}-bit MATLAB use orvalink-${VERSION}-${OTHER_ARCH}-setup.exe."
    Return
  ${EndIf}
  Push $R0
  Call MatlabOutsideCodePage
  StrCpy $R2 $R0
  Pop $R0
  ${If} $R2 != 0
    StrCpy $Problem "The MATLAB folder $Matlab has characters that this Windows's ANSI code page cannot hold, and setup can write MATLAB's path definition only in that code page. ${BY_HAND}"
  ${ElseIf} $R0 > ${MAX_DEFINITION}
    StrCpy $Problem "The path definition folder $Definition has $R0 characters, more than the ${MAX_DEFINITION} that setup can write. ${BY_HAND}"
  ${ElseIfNot} ${FileExists} "$Definitionpathdef.m"
    StrCpy $Problem "$Definition holds no pathdef.m, the file that lists MATLAB's path. If $Matlab is where MATLAB is installed, make the file again: start MATLAB as an administrator and type savepath. Otherwise choose the folder MATLAB is installed in."
  ${ElseIfNot} ${FileExists} "$Matlab\bin\${ARCH}\*.*"
  ${AndIf} ${FileExists} "$Matlab\bin\${OTHER_ARCH}\*.*"
    StrCpy $Problem "$Matlab is a ${OTHER_BITS}-bit MATLAB (it has bin\${OTHER_ARCH}, not bin\${ARCH}). Use the ${OTHER_BITS}-bit setup, orvalink-${VERSION}-${OTHER_ARCH}-setup.exe."
  ${EndIf}
FunctionEnd

; A MATLAB folder with neither bin\win32 nor bin\win64 may be a copy: said, not refused.
Function WarnUnknownArchitecture
  ${IfNot} ${FileExists} "$Matlab\bin\${ARCH}\*.*"
  ${AndIfNot} ${FileExists} "$Matlab\bin\${OTHER_ARCH}\*.*"
    StrCpy $R9 "Warning: $Matlab has neither bin\win32 nor bin\win64, so setup cannot tell whether it is a ${BITS}-bit MATLAB. Going on."
    DetailPrint "$R9"
    !insertmacro LogTo "$INSTDIR" "$R9"
  ${EndIf}
FunctionEnd

; One setup or uninstall at a time: a second one says so and ends with exit
; code 5. Mutexes live as long as the process. Setups since 1.1.0 take
; "orvalink-setup"; setups and uninstallers of this release on also take
; "orvalink-setup-or-uninstall". An uninstaller that finds only the first
; was started by an older setup, which waits for it as part of its
; upgrade: it goes on ($RunBySetup 1), and leaves its own file to that setup.
!define SETUP_MUTEX "orvalink-setup"
!define ANY_MUTEX "orvalink-setup-or-uninstall"
!macro Refuse log
  StrCpy $R9 "Another orvalink setup or uninstall is running. Let it finish, then start this one again."
  !insertmacro AppendLog "${log}" "$R9"
  MessageBox MB_OK|MB_ICONEXCLAMATION "$R9" /SD IDOK
  SetErrorLevel 5
  Quit
!macroend
!macro OneAtATime log uninstaller
  System::Call 'kernel32::CreateMutex(p 0, i 0, t "${ANY_MUTEX}") p .r1 ?e'
  Pop $R0
  ${IfThen} $R0 == 183 ${|} !insertmacro Refuse "${log}" ${|}   ; ERROR_ALREADY_EXISTS
  System::Call 'kernel32::CreateMutex(p 0, i 0, t "${SETUP_MUTEX}") p .r1 ?e'
  Pop $R0
  StrCpy $RunBySetup 0
  ${If} $R0 == 183
    ${IfThen} ${uninstaller} == 0 ${|} !insertmacro Refuse "${log}" ${|}
    StrCpy $RunBySetup 1
  ${EndIf}
!macroend

; NSIS takes all that follows the first " /D=" as the install folder, so an
; option after it would become part of the folder's name. The raw command
; line shows it: a quote or " /" after /D= (no folder name holds either).
Function InstallOptionNotLast
  ClearErrors
  System::Call 'kernel32::GetCommandLineW() w .R2'
  StrLen $R3 $R2
  StrCpy $R4 0
  ${DoWhile} $R4 < $R3
    StrCpy $R5 $R2 4 $R4
    ${IfThen} $R5 S== " /D=" ${|} ${ExitDo} ${|}
    IntOp $R4 $R4 + 1
  ${Loop}
  IntOp $R4 $R4 + 4
  ${DoWhile} $R4 < $R3
    StrCpy $R5 $R2 1 $R4
    StrCpy $R6 $R2 2 $R4
    ${If} $R5 == '"'
    ${OrIf} $R6 == " /"
      SetErrors
      Return
    ${EndIf}
    IntOp $R4 $R4 + 1
  ${Loop}
FunctionEnd

Function .onInit
  !insertmacro OneAtATime "$TEMP\${LOG_NAME}" 0
!if "${ARCH}" == "win64"
  SetRegView 64
!endif
  Call MatlabOption
  ${If} ${Errors}
    Call NewestMatlab
  ${EndIf}
  ClearErrors
  Call SetMatlab
  Call InstallOptionNotLast
  ${If} ${Errors}
    Call InstallOptionGiven
    ; "/D=C:\Tools\orvalink /S": the /S is part of the folder; the caller meant a silent run.
    StrCpy $R1 "$R0 "
    StrLen $R3 $R1
    StrCpy $R4 0
    ${DoWhile} $R4 < $R3
      StrCpy $R5 $R1 4 $R4
      ${If} $R5 == " /S "
        SetSilent silent
        ${ExitDo}
      ${EndIf}
      IntOp $R4 $R4 + 1
    ${Loop}
    !insertmacro Stop "$TEMP" "/D= is not last on the command line ($\"/D=$R0$\"), so setup would take the options after it for part of the install folder. Give /D= last: setup /S /D=C:\Tools\orvalink. Nothing was installed." 2
  ${EndIf}
  Call InstallOptionGiven
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
    !insertmacro Stop "$TEMP" "The install folder $R0 is not one setup can use (setup would have installed into $INSTDIR instead): give a whole folder on a drive of this computer, such as /D=C:\Tools\orvalink. Nothing was installed." 2
  ${EndIf}
  ${If} ${Silent}
    Call QuotedInstallOption
    ${If} ${Errors}
      !insertmacro Stop "$TEMP" "The install folder was given as $\"/D=...$\", in quotes, which setup cannot read: give /D= last and without quotes, even with blanks in the folder (/D=C:\Program Files\orvalink). Nothing was installed." 2
    ${EndIf}
    Call CheckInstallFolder
    ${If} $Problem != ""
    !insertmacro Stop "$TEMP" "$Problem" 2
  ${EndIf}
    Call CheckMatlabFolder
    ${If} $Problem != ""
    !insertmacro Stop "$TEMP" "$Problem" 2
  ${EndIf}
    Call FindEarlierInstall
    Call CheckEarlierInstall
    ${If} $Problem != ""
      !insertmacro Stop "$TEMP" "$Problem" 2
    ${EndIf}
  ${EndIf}
  Call FindEarlierInstall
  Call CheckNewerInstall
FunctionEnd

Function DirectoryLeave
  Call CheckInstallFolder
  ${If} $Problem != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$Problem"
    Abort
  ${EndIf}
  Call FindEarlierInstall
  Call CheckEarlierInstall
  ${If} $Problem != ""
    MessageBox MB_YESNO|MB_ICONQUESTION "orvalink is already installed in $Earlier. Setup takes that copy out first, so that MATLAB loads only the one in $INSTDIR; files there that setup did not install stay. Go on?" IDYES +2
    Abort
  ${EndIf}
FunctionEnd

Function MatlabPage
  !insertmacro MUI_HEADER_TEXT "Choose MATLAB" "Choose the MATLAB installation that should find orvalink."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "Setup adds the orvalink folders to this MATLAB's path definition, <MATLAB folder>\toolbox\local\pathdef.m, and keeps a copy of the file as it was, pathdef.old, beside it. One MATLAB holds orvalink's entries: choosing another moves them there."
  Pop $0
  ${NSD_CreateLabel} 0 40u 100% 10u "MATLAB folder:"
  Pop $0
  ${NSD_CreateText} 0 52u 80% 12u "$Matlab"
  Pop $MatlabField
  ${NSD_CreateBrowseButton} 82% 51u 18% 14u "Browse..."
  Pop $0
  ${NSD_OnClick} $0 BrowseMatlab
  nsDialogs::Show
FunctionEnd

Function BrowseMatlab
  ${NSD_GetText} $MatlabField $0
  nsDialogs::SelectFolderDialog "MATLAB folder" "$0"
  Pop $0
  ${If} $0 != error
    ${NSD_SetText} $MatlabField "$0"
  ${EndIf}
FunctionEnd

Function MatlabLeave
  ${NSD_GetText} $MatlabField $R0
  Call SetMatlab
  Call CheckMatlabFolder
  ${If} $Matlab == ""
    StrCpy $Problem "Choose the folder MATLAB is installed in, for example C:\Program Files\MATLAB\R2024b."
  ${EndIf}
  ${If} $Problem != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$Problem"
    Abort
  ${EndIf}
FunctionEnd

; ---- Taking it back --------------------------------------------------------

!macro HoldDefinition folder held
  ${IfThen} ${FileExists} "${folder}pathdef.m" ${|} CopyFiles /SILENT "${folder}pathdef.m" "$Hold\${held}\pathdef.m" ${|}
  ${IfThen} ${FileExists} "${folder}pathdef.old" ${|} CopyFiles /SILENT "${folder}pathdef.old" "$Hold\${held}\pathdef.old" ${|}
!macroend

; A held path definition back: pathdef.old when setup took it away (as
; copied, with its time, by which setup knows its own), pathdef.m when it changed.
!macro PutDefinitionBack folder held
  ${If} ${FileExists} "$Hold\${held}\pathdef.old"
  ${AndIfNot} ${FileExists} "${folder}pathdef.old"
    CopyFiles /SILENT "$Hold\${held}\pathdef.old" "${folder}pathdef.old"
  ${EndIf}
  StrCpy $0 1
  ${If} ${FileExists} "$Hold\${held}\pathdef.m"
    !insertmacro CallPathRemove 'FilesEqual(m "$Hold\${held}\pathdef.m", m "${folder}pathdef.m") i .r0'
  ${EndIf}
  ${If} $0 != 1
    SetFileAttributes "${folder}pathdef.m" NORMAL
    Delete "${folder}pathdef.m"
    CopyFiles /SILENT "$Hold\${held}\pathdef.m" "${folder}pathdef.m"   ; read-only again if it was
  ${EndIf}
!macroend

; Before anything changes, a copy of all that setup may change: pathdef.m and
; pathdef.old of this MATLAB and of the earlier install's, and the earlier
; install's files of ours (its list), install.ini, uninstaller and log. In
; %TEMP%, under a name of its own; it goes once setup succeeds or has put
; everything back, and stays, named, when that fails.
Function HoldWhatSetupChanges
  StrCpy $R0 1
  ${Do}
    StrCpy $Hold "$TEMP\orvalink-setup-held-$R0"
    ${IfNotThen} ${FileExists} "$Hold" ${|} ${ExitDo} ${|}
    IntOp $R0 $R0 + 1
  ${Loop}
  StrCpy $EarlierDefinition ""
  ${If} $Earlier != ""
    ReadINIStr $EarlierDefinition "$Earlier\install.ini" "orvalink" "definition"
  ${EndIf}
  SetDetailsPrint none
  ClearErrors
  CreateDirectory "$Hold\definition"
  !insertmacro HoldDefinition "$Definition" "definition"
  ${If} $EarlierDefinition != ""
  ${AndIf} $EarlierDefinition != $Definition
    CreateDirectory "$Hold\earlier-definition"
    !insertmacro HoldDefinition "$EarlierDefinition" "earlier-definition"
  ${EndIf}
  ${If} $Earlier != ""
    CreateDirectory "$Hold\files"
    !insertmacro HoldEarlierFiles
  ${EndIf}
  SetDetailsPrint both
  ${If} ${Errors}
    RMDir /r "$Hold"
    !insertmacro Stop "$TEMP" "Could not copy what setup changes to $Hold, to put it back should setup fail. Is %TEMP% full? Nothing was changed." 3
  ${EndIf}
FunctionEnd

; After a failure: everything back as HoldWhatSetupChanges found it, the
; earlier install too (its Add/Remove entry was never touched). $Outcome
; says what came of it.
Function PutBack
  SetOutPath "$TEMP"   ; the install folder is no longer the current one, so it can go
  SetDetailsPrint none
  StrCpy $R8 0   ; 1 when something could not go back
  ClearErrors
  ; The backups, undone in the reverse order of their changes.
  ${IfThen} $OldCopied == 1 ${|} Delete "$Definitionpathdef.old" ${|}
  ${IfThen} $KeptOld != "" ${|} Rename "$Definition$KeptOld" "$Definitionpathdef.old" ${|}
  ${IfThen} $PutBackName != "" ${|} Rename "$EarlierDefinitionpathdef.old" "$EarlierDefinition$PutBackName" ${|}
  !insertmacro PutDefinitionBack "$Definition" "definition"
  ${If} $EarlierDefinition != ""
  ${AndIf} $EarlierDefinition != $Definition
    !insertmacro PutDefinitionBack "$EarlierDefinition" "earlier-definition"
  ${EndIf}
  ${IfThen} ${Errors} ${|} StrCpy $R8 1 ${|}
  ; This run's files (not all may be there: no error counts), then the earlier copy's.
  Call RemoveFiles
  ${If} $Earlier != ""
    ClearErrors
    FileOpen $R6 "$Hold\edited.txt" r
    ${IfNot} ${Errors}
      ${Do}
        FileReadUTF16LE $R6 $R7
        ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
        ${TrimNewLines} $R7 $R7
        Delete "$R7"
      ${Loop}
      FileClose $R6
    ${EndIf}
    ClearErrors
    CreateDirectory "$Earlier"
    CopyFiles /SILENT "$Hold\files\*.*" "$Earlier"
    ${IfThen} ${Errors} ${|} StrCpy $R8 1 ${|}
  ${EndIf}
  SetDetailsPrint both
  ${If} $R8 == 1
    StrCpy $Outcome "Setup could not put back all it had changed: a copy of each file as it was is in $Hold."
  ${ElseIf} $Earlier != ""
    RMDir /r "$Hold"
    StrCpy $Outcome "Everything setup had changed is as it was, the orvalink in $Earlier too."
  ${Else}
    RMDir /r "$Hold"
    StrCpy $Outcome "Everything setup had changed is as it was."
  ${EndIf}
  DetailPrint "$Outcome"
  StrCpy $Hold ""
FunctionEnd

; Abort on a file that could not be written (the only way a section ends early when not silent).
Function .onInstFailed
  ${If} $Hold != ""
    Call PutBack
    !insertmacro LogTo "$TEMP" "Setup was stopped before it was complete. $Outcome"
  ${EndIf}
FunctionEnd

; Only what setup installed goes, whatever else the folder holds (it may be
; one the user had before, such as Documents\MATLAB); folders only when empty.
!macro RemoveFilesBody
  !insertmacro RemoveInstalledFiles
  Delete "$INSTDIR\install.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\trim"
  RMDir "$INSTDIR"
!macroend

; After a failure: what this run installed goes, its log too (the reason goes to %TEMP%).
Function RemoveFiles
  StrCpy $LogPath ""
  Delete "$INSTDIR\${LOG_NAME}"
  !insertmacro RemoveFilesBody
FunctionEnd

; True ($R0 = 1) when pathdef.m holds the five entry lines of this package, in order.
Function EntriesPresent
  StrCpy $R0 0
  StrCpy $R1 0   ; entry lines matched so far
  FileOpen $R2 "$Definitionpathdef.m" r
  ${IfThen} ${Errors} ${|} Return ${|}
  ${Do}
    FileRead $R2 $R3
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    ${TrimNewLines} $R3 $R3
    ${Select} $R1
      ${Case} 0
        StrCpy $R4 "'$INSTDIR;',..."
      ${Case} 1
        StrCpy $R4 "'$INSTDIR\samples;',..."
      ${Case} 2
        StrCpy $R4 "'$INSTDIR\trim;',..."
      ${Case} 3
        StrCpy $R4 "'$INSTDIR\util;',..."
      ${Case} 4
        StrCpy $R4 "'$INSTDIR\fgutil;',..."
    ${EndSelect}
    ${If} $R3 == $R4
      IntOp $R1 $R1 + 1
      ${If} $R1 == 5
        StrCpy $R0 1
        ${ExitDo}
      ${EndIf}
    ${ElseIf} $R3 == "'$INSTDIR;',..."
      StrCpy $R1 1
    ${Else}
      StrCpy $R1 0
    ${EndIf}
  ${Loop}
  FileClose $R2
FunctionEnd

; ---- Install ----------------------------------------------------------------

Section "orvalink"
  ; The checks once more: a page can be skipped, and nothing is written yet.
  Call CheckInstallFolder
  ${If} $Problem != ""
    !insertmacro Stop "$TEMP" "$Problem" 2
  ${EndIf}
  Call CheckMatlabFolder
  ${If} $Problem != ""
    !insertmacro Stop "$TEMP" "$Problem" 2
  ${EndIf}

  !insertmacro StopWhileFilesInUse
  !insertmacro StopWhilePathdefLocked "$Definition" "$TEMP\${LOG_NAME}"

  ; A reinstall, an upgrade or a move: the earlier copy's entry lines go
  ; first, and so does every entry line of this folder that an older setup
  ; left behind, so that pathdef.m ends up with exactly one set; then its
  ; files, by name.
  Call FindEarlierInstall
  ; The earlier install's MATLAB too, when it is another: its lines go first.
  ${If} $Earlier != ""
    ReadINIStr $R0 "$Earlier\install.ini" "orvalink" "definition"
    ${If} $R0 != ""
    ${AndIf} $R0 != $Definition
      !insertmacro StopWhilePathdefLocked "$R0" "$TEMP\${LOG_NAME}"
    ${EndIf}
  ${EndIf}
  StrCpy $EarlierNote ""
  StrCpy $KeptOld ""
  StrCpy $PutBackName ""
  StrCpy $OldCopied 0
  Call HoldWhatSetupChanges
  Call RemoveEarlierEntries
  ; This folder's lines in this pathdef.m go only where an earlier install of
  ; ours put them (as an earlier release, which kept no definition, did
  ; into its own folder); the user's own, counted then or now, stay.
  StrCpy $0 0
  StrCpy $R2 0
  ${If} $Earlier == $INSTDIR
    ${If} $EarlierDefinition == $Definition
    ${OrIf} $EarlierDefinition == ""
      StrCpy $R2 1
    ${EndIf}
  ${EndIf}
  ${If} $R2 == 1
    !insertmacro UserEntriesOf "$Earlier" $UserEntries
    !insertmacro RemoveEntriesOf "$INSTDIR" "$Definition" "$UserEntries"
    ${If} $0 == -1
    ${OrIf} $0 == "error"
      !insertmacro Fail "Could not rewrite $Definitionpathdef.m to take out the entry lines the earlier install put there. Is the file writable?"
    ${EndIf}
  ${Else}
    !insertmacro CallPathRemove 'CountMatlabPathEntries(m "$INSTDIR", m "$Definition") i .r1'
    ${If} $1 == -1
    ${OrIf} $1 == "error"
      !insertmacro Fail "Could not read $Definitionpathdef.m. Is it readable?"
    ${EndIf}
    StrCpy $UserEntries $1
  ${EndIf}
  ; The install folder's log tells of the last setup run, from its first line.
  CreateDirectory "$INSTDIR"
  StrCpy $LogPath "$INSTDIR\${LOG_NAME}"
  Delete "$LogPath"
  !insertmacro Tell "orvalink ${VERSION} setup, into $INSTDIR, for the MATLAB in $Matlab."
  ${IfThen} $EarlierNote != "" ${|} !insertmacro AppendLog "$LogPath" "$EarlierNote" ${|}
  ${If} $0 > 0
    !insertmacro Tell "Took $0 entry lines of the earlier install in $INSTDIR out of $Definitionpathdef.m."
  ${EndIf}
  ${If} $UserEntries != 0
    !insertmacro Tell "$Definitionpathdef.m already named some of orvalink's folders (entries of your own): they stay where they are, now and when orvalink is uninstalled."
  ${EndIf}
  Call RemoveEarlierCopy

  ; Silent, a file that cannot be written is passed over with the error flag set.
  ClearErrors
  !insertmacro InstallFiles
  CreateDirectory "$INSTDIR\trim"
  WriteINIStr "$INSTDIR\install.ini" "orvalink" "definition" "$Definition"
  WriteINIStr "$INSTDIR\install.ini" "orvalink" "user" "$UserEntries"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    !insertmacro Fail "Could not write all of orvalink's files into $INSTDIR (the details name the file). Is the disk full, or is a file there read-only?"
  ${EndIf}

  ; The caller's duty: the current definition as pathdef.old. An earlier
  ; pathdef.old is kept under the first free name pathdef.old.N.
  SetDetailsPrint none
  ; An earlier pathdef.old that is byte for byte today's pathdef.m (an
  ; earlier copy's backup, put back) holds nothing the new one will not:
  ; kept as well, backups would pile up with each upgrade.
  ${If} ${FileExists} "$Definitionpathdef.old"
    !insertmacro CallPathRemove 'FilesEqual(m "$Definitionpathdef.m", m "$Definitionpathdef.old") i .r0'
    ${If} $0 == 1
      Delete "$Definitionpathdef.old"
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$Definitionpathdef.old"
    StrCpy $0 1
    ${DoWhile} ${FileExists} "$Definitionpathdef.old.$0"
      IntOp $0 $0 + 1
    ${Loop}
    StrCpy $KeptOld "pathdef.old.$0"
    ClearErrors
    Rename "$Definitionpathdef.old" "$Definition$KeptOld"
    ${If} ${Errors}
      StrCpy $KeptOld ""
      !insertmacro Fail "Could not rename the earlier $Definitionpathdef.old. Is the folder writable?"
    ${EndIf}
    SetDetailsPrint both
    !insertmacro Tell "Kept the earlier pathdef.old as $KeptOld."
    SetDetailsPrint none
  ${EndIf}
  ClearErrors
  CopyFiles /SILENT "$Definitionpathdef.m" "$Definitionpathdef.old"
  SetFileAttributes "$Definitionpathdef.old" NORMAL   ; a copy of a read-only pathdef.m is one too
  StrCpy $OldCopied 1   ; or a part of it
  ${If} ${Errors}
    !insertmacro Fail "Could not copy $Definitionpathdef.m to pathdef.old. Is the folder writable?"
  ${EndIf}
  SetDetailsPrint both
  !insertmacro Tell "Kept a copy of MATLAB's path definition as it was: $Definitionpathdef.old."
  WriteINIStr "$INSTDIR\install.ini" "orvalink" "kept" "$KeptOld"
  !insertmacro RecordBackup

  ; SetMatlabPath(reserved, &length of the package folder, package folder + definition folder), cdecl.
  ; A read-only pathdef.m is written all the same, and made read-only again.
  ${GetFileAttributes} "$Definitionpathdef.m" "READONLY" $ReadOnly
  ${IfThen} $ReadOnly == 1 ${|} SetFileAttributes "$Definitionpathdef.m" NORMAL ${|}
  StrLen $1 $INSTDIR
  System::Call '"$INSTDIR\brindle.dll"::SetMatlabPath(i 0, *i r1, m "$INSTDIR$Definition") i .r0 ?cu'
  ${IfThen} $ReadOnly == 1 ${|} SetFileAttributes "$Definitionpathdef.m" READONLY ${|}
  ${If} $0 != 1
    !insertmacro Fail "Could not rewrite $Definitionpathdef.m. Is the file writable, and are you an administrator?"
  ${EndIf}

  ; 1 does not say that the end marker was found.
  Call EntriesPresent
  StrCpy $R8 "registered it in $Definitionpathdef.m"
  StrCpy $R7 $R0   ; 1 when on the path
  ${If} $R0 == 1
    !insertmacro Tell "Wrote orvalink's five folders into MATLAB's path definition, $Definitionpathdef.m."
  ${Else}
    StrCpy $R8 "did not register it: $Definitionpathdef.m has no END ENTRIES line, so the package is not on MATLAB's path"
    StrCpy $R9 "$Definitionpathdef.m has no END ENTRIES line, so the package is not on MATLAB's path. Add it by hand in MATLAB: addpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
    !insertmacro Tell "$R9"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R9" /SD IDOK
  ${EndIf}

  ; The earlier install's entry goes only now: its values are not all this release's.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "orvalink ${VERSION} (${BITS}-bit)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; In place (_?=): the caller (Add/Remove Programs, a deployment tool) gets the uninstall's own exit code.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The orvalink developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Readme" "$INSTDIR\README.txt"
  ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $R0
  Call WarnUnknownArchitecture
  !insertmacro Tell "Installed orvalink ${VERSION} in $INSTDIR and $R8; the path definition as it was is kept in $Definitionpathdef.old"
  ${IfThen} $R7 != 1 ${|} SetErrorLevel 7 ${|}
  RMDir /r "$Hold"
  StrCpy $Hold ""
  ; orvalink.dll is the block for this package's own tools and, with orvalink.mexw32, for 32-bit MATLAB;
  ; 64-bit MATLAB loads a MEX file it builds itself.
  DetailPrint "${NEXT_STEP}"
SectionEnd

; ---- Uninstall ----------------------------------------------------------------

; Takes the package's entry lines out of pathdef.m, however savepath has
; laid them out since: pathremove.dll does it, carried in this program.
Function un.RemoveEntries
  ${IfNot} ${FileExists} "$Definitionpathdef.m"
    !insertmacro Tell "$Definitionpathdef.m is gone (MATLAB was removed, or moved): there is no path to take orvalink off."
    Return
  ${EndIf}
  !insertmacro UserEntriesOf "$INSTDIR" $R1
  !insertmacro RemoveEntriesOf "$INSTDIR" "$Definition" "$R1"
  ${If} $0 == -1
  ${OrIf} $0 == "error"
    StrCpy $R9 "Could not rewrite $Definitionpathdef.m, so orvalink's folders stay on MATLAB's path. Take them off in MATLAB: rmpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
    !insertmacro Tell "$R9"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R9" /SD IDOK
  ${ElseIf} $0 == 0
    !insertmacro Tell "MATLAB's path definition $Definitionpathdef.m did not name orvalink's folders; it is as it was."
  ${Else}
    !insertmacro Tell "Took orvalink's folders off MATLAB's path ($0 lines of $Definitionpathdef.m)."
  ${EndIf}
  ${If} $R1 != 0
    !insertmacro Tell "Kept the entries of your own that $Definitionpathdef.m held before the install, where they are."
  ${EndIf}
FunctionEnd

; Without install.ini (deleted by hand), the entries are found where they
; are: in the pathdef.m of each MATLAB the registry names, by the folder
; they name. $R6: how many path definitions named it.
Function un.RemoveEntriesEverywhere
  StrCpy $R6 0
  StrCpy $R8 0
  ${Do}
    ClearErrors
    EnumRegKey $R9 HKLM "SOFTWARE\MathWorks\MATLAB" $R8
    ${If} ${Errors}
    ${OrIf} $R9 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $R8 $R8 + 1
    ReadRegStr $R5 HKLM "SOFTWARE\MathWorks\MATLAB\$R9" "MATLABROOT"
    ${If} $R5 != ""
    ${AndIf} ${FileExists} "$R5\toolbox\local\pathdef.m"
      StrCpy $Definition "$R5\toolbox\local\"
      !insertmacro RemoveEntriesOf "$INSTDIR" "$Definition" 0
      ${If} $0 == -1
      ${OrIf} $0 == "error"
        !insertmacro Tell "Could not rewrite $Definitionpathdef.m, which may name orvalink's folders. Take them off in MATLAB: rmpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
        IntOp $R6 $R6 + 1
      ${ElseIf} $0 > 0
        !insertmacro Tell "Took orvalink's folders off MATLAB's path ($0 lines of $Definitionpathdef.m)."
        IntOp $R6 $R6 + 1
      ${EndIf}
    ${EndIf}
  ${Loop}
FunctionEnd

Function un.onInit
  StrCpy $LogPath "$TEMP\${UNINSTALL_LOG_NAME}"
  !insertmacro OneAtATime "$LogPath" 1
!if "${ARCH}" == "win64"
  SetRegView 64
!endif
FunctionEnd

Section "Uninstall"
  !insertmacro StopWhileFilesInUse
  ReadINIStr $Definition "$INSTDIR\install.ini" "orvalink" "definition"
  ${If} $Definition != ""
    !insertmacro StopWhilePathdefLocked "$Definition" "$LogPath"
  ${EndIf}
  !insertmacro Tell "orvalink ${VERSION} uninstall, from $INSTDIR."
  ${IfThen} $RunBySetup == 1 ${|} !insertmacro Tell "An older orvalink setup runs this uninstall, to install in its place." ${|}
  ${If} $Definition != ""
    Call un.RemoveEntries
    !insertmacro RemoveOwnBackup "$INSTDIR" "$Definition"
  ${Else}
    !insertmacro Tell "$INSTDIR\install.ini is gone, so uninstall looks for orvalink's entry lines in the path definition of every MATLAB the registry names."
    Call un.RemoveEntriesEverywhere
    ${If} $R6 == 0
      !insertmacro Tell "No MATLAB the registry names lists orvalink's folders on its path. If another MATLAB does, take them off there: rmpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
    ${EndIf}
    !insertmacro Tell "A pathdef.old that setup kept stays where it is: without install.ini, uninstall cannot tell it from one of yours."
  ${EndIf}
  SetDetailsPrint none
  !insertmacro RemoveFilesBody
  Delete "$INSTDIR\${LOG_NAME}"
  RMDir "$INSTDIR"
  SetDetailsPrint both
  !insertmacro Tell "Removed the files that setup installed in $INSTDIR."
  !insertmacro TellKeptFiles "$INSTDIR"
  ${If} ${RebootFlag}
    !insertmacro Tell "Some files were in use; Windows removes them when it next starts."
  ${EndIf}
  ; Run in place (_?=, as Add/Remove Programs runs it, so that its caller gets
  ; this exit code), the uninstaller cannot delete itself; a running program's
  ; file can be moved, though (on its own drive): out of the folder, it goes
  ; when Windows next starts.
  ${If} $EXEDIR == $INSTDIR
  ${AndIf} $RunBySetup == 0
  ${AndIf} ${FileExists} "$INSTDIR\uninstall.exe"
    GetTempFileName $R0
    Delete "$R0"
    ClearErrors
    Rename "$INSTDIR\uninstall.exe" "$R0"
    ${If} ${Errors}
      ; %TEMP% on another drive: beside the folder, on its own drive, then.
      GetTempFileName $R0 "$INSTDIR\.."
      Delete "$R0"
      ClearErrors
      Rename "$INSTDIR\uninstall.exe" "$R0"
    ${EndIf}
    ${If} ${Errors}
      ; Where it cannot be moved (Wine does not move a running program), when Windows next starts.
      Delete /REBOOTOK "$INSTDIR\uninstall.exe"
      RMDir /REBOOTOK "$INSTDIR"
      !insertmacro Tell "Run in place (_?=), this uninstaller cannot delete itself: Windows deletes $INSTDIR\uninstall.exe, and the folder when empty, when it next starts."
    ${Else}
      Delete /REBOOTOK "$R0"
      RMDir "$INSTDIR"
      !insertmacro Tell "Moved this uninstaller, which cannot delete itself while it runs, out of $INSTDIR to $R0, which Windows deletes when it next starts."
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !insertmacro Tell "orvalink is uninstalled. Restart MATLAB, so that its path no longer names orvalink's folders."
SectionEnd

; Setup program for orvalink on Windows: installs the package folder
; (the MEX file, brindle, the tools and their data) and puts it on MATLAB's
; path through brindle's SetMatlabPath. Made by the CMake target
; `installer`, which defines VERSION, ARCH (win32 or win64), STAGE (the
; staged package folder), FILES (the list of installed files made from it),
; PATHREMOVE (the library that takes entry lines out), LICENSE and OUTFILE.
;
; Silent: setup.exe /S /MATLAB=<MATLAB folder> /D=<install folder>
; Exit code 0 on success; 2 when an input is refused (nothing written);
; 3 when the path update fails (everything taken back); 4 when installed
; files are in use; 5 when another setup is running. The reason goes to
; orvalink-setup.log in the install folder, or in %TEMP% when nothing was
; installed.

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
VIAddVersionKey /LANG=1033 "FileDescription" "orvalink ${VERSION} setup (${BITS}-bit)"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
ShowInstDetails show
ShowUninstDetails show
CompletedText "Done. Restart MATLAB and run build_orvalink once."

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\orvalink"
!define MAX_PACKAGE 103
!define MAX_DEFINITION 108
!define LOG_NAME "orvalink-setup.log"

Var Matlab        ; the MATLAB folder, without a trailing backslash
Var Definition    ; <MATLAB folder>\toolbox\local\ (ends with a backslash)
Var KeptOld       ; an earlier pathdef.old, kept under this name ("" when there was none)
Var Problem       ; why an input is refused ("" when it is not)
Var MatlabField   ; the MATLAB folder page's text field
Var Earlier       ; the folder of an earlier install of orvalink ("" when there is none)
Var ReadOnly      ; 1 when pathdef.m was read-only: it is made so again after each change

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs orvalink ${VERSION}, the Simulink block that flies your flight model in FlightGear, with its tools, and puts it on MATLAB's path.$\r$\n$\r$\nClose MATLAB before you go on."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom MatlabPage MatlabLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "orvalink is installed"
!define MUI_FINISHPAGE_TEXT "Restart MATLAB, then type build_orvalink once at its prompt: it builds the block for your MATLAB from orvalink.cpp (you need a C++ compiler set up for mex) and its library.$\r$\n$\r$\nThen type orvalink_demo to open a model that flies a sample flight, or drag the FlightGear link block from the Library Browser into your model. README.txt in $INSTDIR tells the rest."
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- Reports -----------------------------------------------------------

; Appends a line to the log in the install folder, or in %TEMP% when nothing is installed there.
!macro LogTo folder text
  Push $9
  ClearErrors
  FileOpen $9 "${folder}\${LOG_NAME}" a
  ${IfNot} ${Errors}
    FileSeek $9 0 END
    FileWrite $9 "${text}$\r$\n"
    FileClose $9
  ${EndIf}
  Pop $9
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

; ---- The MATLAB folder ---------------------------------------------------

; The newest MATLAB that the registry names, or "".
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
    ${If} $R0 != ""
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

!macro RemoveEntriesOf folder definition
  ${GetFileAttributes} "${definition}pathdef.m" "READONLY" $R7
  ${IfThen} $R7 == 1 ${|} SetFileAttributes "${definition}pathdef.m" NORMAL ${|}
  !insertmacro CallPathRemove 'RemoveMatlabPath(m "${folder}", m "${definition}") i .r0'
  ${IfThen} $R7 == 1 ${|} SetFileAttributes "${definition}pathdef.m" READONLY ${|}
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

!macro RemoveOwnBackup
  ReadINIStr $R0 "$INSTDIR\install.ini" "orvalink" "backup"
  ReadINIStr $R1 "$INSTDIR\install.ini" "orvalink" "kept"
  ${If} $R0 != ""
  ${AndIf} ${FileExists} "$Definitionpathdef.old"
    GetFileTime "$Definitionpathdef.old" $R5 $R6
    FileOpen $R4 "$Definitionpathdef.old" r
    FileSeek $R4 0 END $R3
    FileClose $R4
    ${If} $R0 == "$R3 $R5 $R6"
      SetDetailsPrint none
      Delete "$Definitionpathdef.old"
      ${If} $R1 != ""
        Rename "$Definition$R1" "$Definitionpathdef.old"
      ${EndIf}
      SetDetailsPrint both
      DetailPrint "Removed the copy of the path definition that setup had kept, $Definitionpathdef.old."
    ${Else}
      DetailPrint "Kept $Definitionpathdef.old: it changed after setup made it."
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

; The earlier install's uninstaller takes its files and entry lines away;
; without one that works, its entry lines are taken out here.
Function RemoveEarlierInstall
  ${If} $Earlier == ""
    Return
  ${EndIf}
  ReadINIStr $R1 "$Earlier\install.ini" "orvalink" "definition"
  StrCpy $R2 1
  ${If} ${FileExists} "$Earlier\uninstall.exe"
    DetailPrint "Uninstalling the orvalink in $Earlier first."
    ClearErrors
    ExecWait '"$Earlier\uninstall.exe" /S _?=$Earlier' $R2
    ${IfThen} ${Errors} ${|} StrCpy $R2 1 ${|}
    Delete "$Earlier\uninstall.exe"
    RMDir "$Earlier"
  ${EndIf}
  ${If} $R2 != 0
  ${AndIf} $R1 != ""
    !insertmacro RemoveEntriesOf "$Earlier" "$R1"
    DetailPrint "Took the earlier orvalink's folders off the path in $R1pathdef.m ($0)."
  ${EndIf}
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
    ${EndIf}
    StrCpy $R4 0
    ${Do}
      StrCpy $R5 "${FOLDER_CHARACTERS}" 1 $R4
      ${If} $R5 == ""
        StrCpy $Problem "The install folder $INSTDIR holds the character $R3, which is not printable ASCII: MATLAB would read the folder's name differently. Choose a folder named with plain letters, digits and punctuation."
        Return
      ${EndIf}
      ${IfThen} $R5 S== $R3 ${|} ${Break} ${|}
      IntOp $R4 $R4 + 1
    ${Loop}
    IntOp $R2 $R2 + 1
  ${Loop}
FunctionEnd

Function CheckMatlabFolder
  StrCpy $Problem ""
  StrLen $R0 $Definition
  ${If} $Matlab == ""
    StrCpy $Problem "No MATLAB folder is named in the registry. Choose the folder MATLAB is installed in (silently: /MATLAB=<folder>)."
  ${ElseIf} $R0 > ${MAX_DEFINITION}
    StrCpy $Problem "The path definition folder $Definition has $R0 characters, more than the ${MAX_DEFINITION} that setup can write. Install without registering and add the package in MATLAB instead: addpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
  ${ElseIfNot} ${FileExists} "$Definitionpathdef.m"
    StrCpy $Problem "$Definition holds no pathdef.m: $Matlab is not a MATLAB folder. Choose the folder MATLAB is installed in."
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

; One setup at a time: a second one says so and ends with exit code 5. The
; uninstaller does not ask: a setup runs an earlier install's uninstaller.
!macro OneAtATime
  System::Call 'kernel32::CreateMutex(p 0, i 0, t "orvalink-setup") p .r1 ?e'
  Pop $R0
  ${If} $R0 == 183   ; ERROR_ALREADY_EXISTS
    StrCpy $R9 "Another orvalink setup or uninstall is running. Let it finish, then start this one again."
    !insertmacro LogTo "$TEMP" "$R9"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R9" /SD IDOK
    SetErrorLevel 5
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro OneAtATime
!if "${ARCH}" == "win64"
  SetRegView 64
!endif
  Call MatlabOption
  ${If} ${Errors}
    Call NewestMatlab
  ${EndIf}
  ClearErrors
  Call SetMatlab
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
    MessageBox MB_YESNO|MB_ICONQUESTION "orvalink is already installed in $Earlier. Setup uninstalls that copy first, so that MATLAB loads only the one in $INSTDIR. Go on?" IDYES +2
    Abort
  ${EndIf}
FunctionEnd

Function MatlabPage
  !insertmacro MUI_HEADER_TEXT "Choose MATLAB" "Choose the MATLAB installation that should find orvalink."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "Setup adds the orvalink folders to this MATLAB's path definition, <MATLAB folder>\toolbox\local\pathdef.m. It keeps a copy of the file as it was, pathdef.old, beside it."
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

; Puts the earlier pathdef.m and pathdef.old back and removes what was installed.
Function TakeBack
  SetOutPath "$TEMP"   ; the install folder is no longer the current one, so it can go
  SetDetailsPrint none
  ${IfThen} $ReadOnly == 1 ${|} SetFileAttributes "$Definitionpathdef.m" NORMAL ${|}
  ${If} ${FileExists} "$Definitionpathdef.old"
    ; Put pathdef.m back only when the failed update changed it.
    !insertmacro CallPathRemove 'FilesEqual(m "$Definitionpathdef.m", m "$Definitionpathdef.old") i .r0'
    ${If} $0 == 1
      Delete "$Definitionpathdef.old"
    ${Else}
      Delete "$Definitionpathdef.m"
      Rename "$Definitionpathdef.old" "$Definitionpathdef.m"
    ${EndIf}
  ${EndIf}
  ${If} $KeptOld != ""
    Rename "$Definition$KeptOld" "$Definitionpathdef.old"
  ${EndIf}
  ${IfThen} $ReadOnly == 1 ${|} SetFileAttributes "$Definitionpathdef.m" READONLY ${|}
  SetDetailsPrint both
  DetailPrint "Put MATLAB's path definition back as it was, and removed what was installed."
  Call RemoveFiles
FunctionEnd

; Only what setup installed goes, whatever else the folder holds (it may be
; one the user had before, such as Documents\MATLAB); folders only when empty.
!macro RemoveFilesBody
  !insertmacro RemoveInstalledFiles
  Delete "$INSTDIR\install.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\trim"
  ${If} ${FileExists} "$INSTDIR\trim\*.*"
    DetailPrint "Kept $INSTDIR\trim: it holds your trim data."
  ${EndIf}
  RMDir "$INSTDIR"
!macroend

Function RemoveFiles
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

  ; A reinstall, an upgrade or a move: the earlier copy goes first, and so
  ; does every entry line of this folder that an older setup left behind,
  ; so that pathdef.m ends up with exactly one set.
  Call FindEarlierInstall
  Call RemoveEarlierInstall
  !insertmacro RemoveEntriesOf "$INSTDIR" "$Definition"
  ${If} $0 == -1
  ${OrIf} $0 == "error"
    !insertmacro Stop "$TEMP" "Could not rewrite $Definitionpathdef.m to take out the entry lines an earlier install left; nothing was changed. Is the file writable?" 3
  ${ElseIf} $0 > 0
    DetailPrint "Took $0 entry lines of an earlier install out of $Definitionpathdef.m."
  ${EndIf}

  !insertmacro InstallFiles
  CreateDirectory "$INSTDIR\trim"
  WriteINIStr "$INSTDIR\install.ini" "orvalink" "definition" "$Definition"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The caller's duty: the current definition as pathdef.old. An earlier
  ; pathdef.old is kept under the first free name pathdef.old.N.
  StrCpy $KeptOld ""
  SetDetailsPrint none
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
      Call RemoveFiles
      !insertmacro Stop "$TEMP" "Could not rename the earlier $Definitionpathdef.old; nothing was changed. Is the folder writable?" 3
    ${EndIf}
    SetDetailsPrint both
    DetailPrint "Kept the earlier pathdef.old as $KeptOld"
    SetDetailsPrint none
  ${EndIf}
  ClearErrors
  CopyFiles /SILENT "$Definitionpathdef.m" "$Definitionpathdef.old"
  SetFileAttributes "$Definitionpathdef.old" NORMAL   ; a copy of a read-only pathdef.m is one too
  ${If} ${Errors}
    Delete "$Definitionpathdef.old"
    StrCpy $R9 "$Definition"
    StrCpy $Definition ""   ; nothing to put back but the kept file
    ${If} $KeptOld != ""
      Rename "$R9$KeptOld" "$R9pathdef.old"
    ${EndIf}
    StrCpy $KeptOld ""
    Call RemoveFiles
    !insertmacro Stop "$TEMP" "Could not copy $R9pathdef.m to pathdef.old; nothing was changed. Is the folder writable?" 3
  ${EndIf}
  SetDetailsPrint both
  DetailPrint "Kept a copy of MATLAB's path definition as it was: $Definitionpathdef.old."
  WriteINIStr "$INSTDIR\install.ini" "orvalink" "kept" "$KeptOld"
  !insertmacro RecordBackup

  ; SetMatlabPath(reserved, &length of the package folder, package folder + definition folder), cdecl.
  ; A read-only pathdef.m is written all the same, and made read-only again.
  ${GetFileAttributes} "$Definitionpathdef.m" "READONLY" $ReadOnly
  ${IfThen} $ReadOnly == 1 ${|} SetFileAttributes "$Definitionpathdef.m" NORMAL ${|}
  StrLen $1 $INSTDIR
  System::Call '"$INSTDIR\brindle.dll"::SetMatlabPath(i 0, *i r1, m "$INSTDIR$Definition") i .r0 ?cu'
  ${IfThen} $ReadOnly == 1 ${|} SetFileAttributes "$Definitionpathdef.m" READONLY ${|}
  ${If} $0 == 1
    DetailPrint "Wrote orvalink's five folders into MATLAB's path definition, $Definitionpathdef.m."
  ${EndIf}
  ${If} $0 != 1
    Call TakeBack
    !insertmacro Stop "$TEMP" "Could not rewrite $Definitionpathdef.m (SetMatlabPath returned $0). It is as it was, and nothing is installed. Is the file writable, and are you an administrator?" 3
  ${EndIf}

  ; 1 does not say that the end marker was found.
  Call EntriesPresent
  StrCpy $R8 "registered it in $Definitionpathdef.m"
  ${If} $R0 != 1
    StrCpy $R8 "did not register it: $Definitionpathdef.m has no END ENTRIES line, so the package is not on MATLAB's path"
    StrCpy $R9 "$Definitionpathdef.m has no END ENTRIES line, so the package is not on MATLAB's path. Add it by hand in MATLAB: addpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
    DetailPrint "$R9"
    !insertmacro LogTo "$INSTDIR" "$R9"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R9" /SD IDOK
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "orvalink ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The orvalink developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "$INSTDIR\README.txt"
  ${GetSize} "$INSTDIR" "/S=0K" $R0 $R1 $R2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $R0
  Call WarnUnknownArchitecture
  !insertmacro LogTo "$INSTDIR" "Installed orvalink ${VERSION} in $INSTDIR and $R8; the path definition as it was is kept in $Definitionpathdef.old"
  ; orvalink.dll is the block for this package's own tools; today's 64-bit MATLAB loads a MEX file it builds itself.
  DetailPrint "Next: restart MATLAB, then type build_orvalink once at its prompt to build the block for your MATLAB, then orvalink_demo."
SectionEnd

; ---- Uninstall ----------------------------------------------------------------

; Takes the package's entry lines out of pathdef.m, however savepath has
; laid them out since: pathremove.dll does it, carried in this program.
Function un.RemoveEntries
  !insertmacro RemoveEntriesOf "$INSTDIR" "$Definition"
  ${If} $0 == -1
  ${OrIf} $0 == "error"
    StrCpy $R9 "Could not rewrite $Definitionpathdef.m, so orvalink's folders stay on MATLAB's path. Take them off in MATLAB: rmpath('$INSTDIR', '$INSTDIR\samples', '$INSTDIR\trim', '$INSTDIR\util', '$INSTDIR\fgutil'); savepath"
    DetailPrint "$R9"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R9" /SD IDOK
  ${ElseIf} $0 == 0
    DetailPrint "MATLAB's path definition $Definitionpathdef.m did not name orvalink's folders; it is as it was."
  ${Else}
    DetailPrint "Took orvalink's folders off MATLAB's path ($0 lines of $Definitionpathdef.m)."
  ${EndIf}
FunctionEnd

Function un.onInit
!if "${ARCH}" == "win64"
  SetRegView 64
!endif
FunctionEnd

Section "Uninstall"
  !insertmacro StopWhileFilesInUse
  ReadINIStr $Definition "$INSTDIR\install.ini" "orvalink" "definition"
  ${If} $Definition != ""
    Call un.RemoveEntries
    !insertmacro RemoveOwnBackup
  ${EndIf}
  !insertmacro RemoveFilesBody
  Delete "$INSTDIR\${LOG_NAME}"
  RMDir "$INSTDIR"
  ${If} ${FileExists} "$INSTDIR\*.*"
    DetailPrint "Kept $INSTDIR: it holds files that setup did not install."
  ${EndIf}
  ${If} ${RebootFlag}
    DetailPrint "Some files were in use; Windows removes them when it next starts."
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

@echo off
rem orvalink-fly for Windows: starts FlightGear the right way for the orvalink
rem block, as the shell script of the same name does. Asks fgfs which release
rem it is; 2020.3 and later get fdm-relay between the block's port and
rem FlightGear, older releases read the block's port directly. Prints every
rem command line it runs; a key press stops what it started.
setlocal EnableDelayedExpansion

set block_port=5500
set fg_port=5501
set rate=30
set airport=PHNL
set aircraft=ufo
set timeofday=noon
set screens=1
set screen_angle=45
set dry_run=0
if "%FGFS%"=="" (set fgfs=fgfs) else (set fgfs=%FGFS%)

:options
if "%~1"=="" goto checked
if "%~1"=="--help" goto usage
if "%~1"=="--version" (echo orvalink-fly @ORVALINK_VERSION@& exit /b 0)
if "%~1"=="--dry-run" (set dry_run=1& shift & goto options)
if "%~2"=="" (echo orvalink-fly: %~1 needs a value ^(try 'orvalink-fly --help'^) 1>&2& exit /b 2)
if "%~1"=="--port" (set block_port=%~2& goto value)
if "%~1"=="--fg-port" (set fg_port=%~2& goto value)
if "%~1"=="--rate" (set rate=%~2& goto value)
if "%~1"=="--airport" (set airport=%~2& goto value)
if "%~1"=="--aircraft" (set aircraft=%~2& goto value)
if "%~1"=="--timeofday" (set timeofday=%~2& goto value)
if "%~1"=="--screens" (set screens=%~2& goto value)
if "%~1"=="--screen-angle" (set screen_angle=%~2& goto value)
if "%~1"=="--fgfs" (set fgfs=%~2& goto value)
echo orvalink-fly: unknown option '%~1' (try 'orvalink-fly --help') 1>&2
exit /b 2
:value
shift & shift
goto options

:usage
echo usage: orvalink-fly [options]
echo Starts FlightGear to show the orvalink block's flight.
echo   --port N, --fg-port N, --rate HZ, --airport ICAO, --aircraft NAME,
echo   --timeofday T, --screens N, --screen-angle D, --fgfs PATH, --dry-run
echo as the shell script orvalink-fly describes (defaults 5500, 5501, 30, PHNL, ufo, noon, 1, 45).
exit /b 0

:checked
for %%v in (block_port fg_port rate screens screen_angle) do (
  set /a "number=!%%v!" 2>nul
  if not "!number!"=="!%%v!" (echo orvalink-fly: --%%v '!%%v!': a whole number ^(try 'orvalink-fly --help'^) 1>&2& exit /b 2)
)
if %screens% LSS 1 (echo orvalink-fly: --screens %screens%: at least 1 1>&2& exit /b 2)

set release=
rem The outer quotes are cmd's to strip, so that those inside stay.
for /f "tokens=3" %%r in ('""%fgfs%" --version 2^>nul ^| findstr /b /c:"FlightGear version""') do set release=%%r
if "%release%"=="" (echo orvalink-fly: cannot run "%fgfs%" --version: install FlightGear or give --fgfs PATH 1>&2& exit /b 1)
for /f "tokens=1,2 delims=." %%a in ("%release%") do (set /a year=%%a& set /a minor=%%b)
set packet=17
if %year% GTR 2020 set packet=24
if %year%==2020 if %minor% GEQ 3 set packet=24
echo orvalink-fly: FlightGear %release% reads version-%packet% packets

set relay=%~dp0fdm-relay.exe
if not exist "%relay%" set relay=%~dp0..\util\fdm-relay.exe
rem Labels, not a parenthesised block: each line is read when it runs.
if not %packet%==24 goto direct
set targets=
set /a last=fg_port+screens-1
for /l %%p in (%fg_port%,1,%last%) do set targets=!targets! --to 127.0.0.1:%%p
echo + "%relay%" --listen 127.0.0.1:%block_port% --quiet!targets!
if %dry_run%==0 start "fdm-relay" /b "%relay%" --listen 127.0.0.1:%block_port% --quiet!targets!
goto screens
:direct
if not %screens%==1 (echo orvalink-fly: several screens need FlightGear 2020.3 or later 1>&2& exit /b 1)
set fg_port=%block_port%
:screens

set /a last=screens-1
for /l %%s in (0,1,%last%) do (
  set /a port=fg_port+%%s
  set /a offset=^(screens-1-2*%%s^)*screen_angle/2
  set view=
  if not %screens%==1 set view=--prop:/sim/current-view/heading-offset-deg=!offset!
  echo + "%fgfs%" --fdm=null --native-fdm=socket,in,%rate%,127.0.0.1,!port!,udp --disable-terrasync --disable-real-weather-fetch --disable-ai-traffic --airport=%airport% --aircraft=%aircraft% --timeofday=%timeofday% !view!
  if %dry_run%==0 start "FlightGear %%s" "%fgfs%" --fdm=null --native-fdm=socket,in,%rate%,127.0.0.1,!port!,udp --disable-terrasync --disable-real-weather-fetch --disable-ai-traffic --airport=%airport% --aircraft=%aircraft% --timeofday=%timeofday% !view!
)
if %dry_run%==1 exit /b 0

echo orvalink-fly: send the block's datagrams to 127.0.0.1:%block_port%; press a key to stop FlightGear and the relay
pause >nul
taskkill /im fdm-relay.exe /f >nul 2>&1
for %%f in ("%fgfs%") do taskkill /im "%%~nxf" /f >nul 2>&1
taskkill /im fgfs.exe /f >nul 2>&1
exit /b 0

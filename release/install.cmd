@echo off
rem Registers Zelkgrab for every application on this computer: the 64-bit modules for 64-bit
rem applications, the 32-bit modules for 32-bit applications, and the control panel.
rem Writing the registrations needs an administrator: right-click, "Run as administrator".
setlocal enableextensions
set "here=%~dp0"
set failures=0
call "%here%tools\system-paths.cmd"

set "modules=Zelkgrab.ax Zelkenc.ax Zelkdec.ax"
if defined regsvr64 for %%m in (%modules%) do call :register "%regsvr64%" "%here%x64\%%m" 64-bit
if not defined regsvr64 echo 64-bit modules: skipped, this is a 32-bit Windows
if defined regsvr32 for %%m in (%modules%) do call :register "%regsvr32%" "%here%x86\%%m" 32-bit
if not defined regsvr32 echo 32-bit modules: skipped, this Windows cannot run 32-bit programs

rem The control panel is one local server for applications of both sizes.
start "" /wait "%panel%" /RegServer
reg query "HKCR\Zelkpanel.ZelkgrabQueue\CLSID" >nul 2>&1
if errorlevel 1 (
  echo FAILED: the control panel %panel% was not registered
  set /a failures+=1
) else (
  echo registered the control panel %panel%
)

if %failures% gtr 0 goto failed
echo Zelkgrab is installed: applications list it among their video sources as "Zelkgrab".
exit /b 0
:failed
echo %failures% step^(s^) failed. Run this script as an administrator, from this folder.
exit /b 1

rem register REGSVR32 MODULE SIZE
:register
"%~1" /s "%~2"
if errorlevel 1 (
  echo FAILED: %~3 %~nx2 was not registered ^(regsvr32 ended with %errorlevel%^)
  set /a failures+=1
) else (
  echo registered %~3 %~2
)
goto :eof

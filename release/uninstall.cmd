@echo off
rem Removes everything install.cmd registered, for both module sizes, the control panel, and
rem the saved settings: the computer's and the current user's. Needs an administrator, like
rem install.cmd.
setlocal enableextensions
set "here=%~dp0"
set failures=0
call "%here%tools\system-paths.cmd"

rem The panel first: it serves the filters while they are still registered.
start "" /wait "%panel%" /UnregServer
reg query "HKCR\Zelkpanel.ZelkgrabQueue\CLSID" >nul 2>&1
if errorlevel 1 (
  echo removed the control panel %panel%
) else (
  echo FAILED: the control panel %panel% is still registered
  set /a failures+=1
)

set "modules=Zelkgrab.ax Zelkenc.ax Zelkdec.ax"
if defined regsvr64 for %%m in (%modules%) do call :unregister "%regsvr64%" "%here%x64\%%m" 64-bit
if defined regsvr32 for %%m in (%modules%) do call :unregister "%regsvr32%" "%here%x86\%%m" 32-bit

rem Machine settings exist once per module size; the user's are shared by both sizes.
if defined regsvr64 call :forget HKEY_LOCAL_MACHINE 64 "the computer's 64-bit settings"
if defined regsvr32 call :forget HKEY_LOCAL_MACHINE 32 "the computer's 32-bit settings"
call :forget HKEY_CURRENT_USER %bits% "your settings"

if %failures% gtr 0 goto failed
echo Zelkgrab is removed. This folder can be deleted now.
exit /b 0
:failed
echo %failures% step^(s^) failed. Run this script as an administrator, from this folder.
exit /b 1

rem unregister REGSVR32 MODULE SIZE
:unregister
"%~1" /s /u "%~2"
if errorlevel 1 (
  echo FAILED: %~3 %~nx2 was not removed ^(regsvr32 ended with %errorlevel%^)
  set /a failures+=1
) else (
  echo removed %~3 %~2
)
goto :eof

rem forget ROOT VIEW WHAT: the settings keys of every module, then the vendor key once nothing
rem else is in it (reg query lists the key's own name only where it has values)
:forget
set "vendor=%~1\SOFTWARE\MorvainLabs"
for %%k in (Zelkgrab Zelkenc ZelkgrabDlg) do reg delete "%vendor%\%%k" /f /reg:%~2 >nul 2>&1
set others=0
for /f "delims=" %%l in ('reg query "%vendor%" /reg:%~2 2^>nul') do if /i not "%%l"=="%vendor%" set /a others+=1
if %others% equ 0 reg delete "%vendor%" /f /reg:%~2 >nul 2>&1
reg query "%vendor%\Zelkgrab" /reg:%~2 >nul 2>&1
if not errorlevel 1 (
  echo FAILED: %~3 in %vendor% were not removed
  set /a failures+=1
) else (
  echo removed %~3
)
goto :eof

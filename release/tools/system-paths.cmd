@echo off
rem Sets, for install.cmd and uninstall.cmd, the regsvr32 of each module size this Windows
rem runs (regsvr64, regsvr32; unset where there is none) and the control panel that fits it
rem (panel). %here% is the package folder.
set "regsvr64="
set "regsvr32="
set "bits=32"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "bits=64"
if defined PROCESSOR_ARCHITEW6432 set "bits=64"
if not "%bits%"=="64" goto windows32
rem A 32-bit command prompt sees the 64-bit System32 as Sysnative.
set "regsvr64=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "regsvr64=%SystemRoot%\Sysnative\regsvr32.exe"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "regsvr32=%SystemRoot%\SysWOW64\regsvr32.exe"
set "panel=%here%x64\Zelkpanel.exe"
goto :eof
:windows32
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"
set "panel=%here%x86\Zelkpanel.exe"
goto :eof

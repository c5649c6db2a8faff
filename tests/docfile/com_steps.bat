@echo off
rem The Windows side of run_com_tests.sh, in one Wine session so that the
rem registry needs no flushing between steps.
rem   com_steps.bat DLL COM_CLIENT VBS DOCUMENT SORBEL_DLL SAMPLE
set DLL=%~1
set CLIENT=%~2
set VBS=%~3
set DOC=%~4
set SORBEL=%~5
set SAMPLE=%~6

regsvr32 /s "%DLL%"
if errorlevel 1 goto fail_register
"%CLIENT%" registered "%DLL%"
if errorlevel 1 goto fail
regsvr32 /s "%DLL%"
if errorlevel 1 goto fail_register
"%CLIENT%" registered "%DLL%"
if errorlevel 1 goto fail
regsvr32 /u /s "%DLL%"
if errorlevel 1 goto fail_unregister
"%CLIENT%" unregistered
if errorlevel 1 goto fail
regsvr32 /u /s "%DLL%"
if errorlevel 1 goto fail_unregister
regsvr32 /s "%DLL%"
if errorlevel 1 goto fail_register
"%CLIENT%" calls
if errorlevel 1 goto fail
"%CLIENT%" write "%DOC%"
if errorlevel 1 goto fail
regsvr32 /s "%SORBEL%"
if errorlevel 1 goto fail_register_sorbel
cscript //nologo "%VBS%" "%DOC%" "%DOC%.absent" "%SAMPLE%"
echo com_steps: done
exit /b 0

:fail_register
echo FAILED: regsvr32 "%DLL%"
exit /b 1
:fail_register_sorbel
echo FAILED: regsvr32 "%SORBEL%"
exit /b 1
:fail_unregister
echo FAILED: regsvr32 /u "%DLL%"
exit /b 1
:fail
echo FAILED: see above
exit /b 1

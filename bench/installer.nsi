; The NSIS reference of the benchmark: a silent installer that carries the
; same MSI and cabinet, extracts them to a folder and runs the test msiexec
; on the package, like the launcher does.
;   makensis -DCOMPRESSOR=zlib|lzma -DCASE_DIR=<folder with bench.msi and bench.cab> -DOUT_FILE=<exe> installer.nsi
Target amd64-unicode
SetCompressor /FINAL ${COMPRESSOR}
Name "msistub bench"
OutFile "${OUT_FILE}"
SilentInstall silent
RequestExecutionLevel admin
InstallDir "C:\bench-nsis"

Section
  SetOutPath "$INSTDIR"
  File "${CASE_DIR}/bench.msi"
  File "${CASE_DIR}/bench.cab"
  ExecWait '"$SYSDIR\msiexec.exe" /i "$INSTDIR\bench.msi"' $0
  SetErrorLevel $0
SectionEnd

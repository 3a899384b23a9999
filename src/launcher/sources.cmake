# Portable: built for Windows and for Linux (packing tool, sanitizers, fuzzers).
set(MSISTUB_LAUNCHER_PORTABLE_SOURCES src/launcher/command_line.cpp)
# Windows only.
set(MSISTUB_LAUNCHER_WINDOWS_SOURCES src/launcher/common_controls_loader.cpp src/launcher/main_sequence.cpp)

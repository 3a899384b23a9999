set(MSISTUB_CORE_PORTABLE_SOURCES src/core/status.cpp)
set(MSISTUB_CORE_WINDOWS_SOURCES src/core/error_text.cpp)

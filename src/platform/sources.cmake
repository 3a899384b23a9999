set(MSISTUB_PLATFORM_WINDOWS_SOURCES src/platform/platform_win32.cpp src/platform/win32_api.cpp src/platform/paths.cpp
    src/platform/kept_worker.cpp)
set(MSISTUB_PLATFORM_NATIVE_SOURCES src/platform/platform_posix.cpp src/platform/kept_worker.cpp)

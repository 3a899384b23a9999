set(MSISTUB_HANDOFF_PORTABLE_SOURCES src/handoff/installer_command.cpp)
set(MSISTUB_HANDOFF_WINDOWS_SOURCES
  src/handoff/find_installer.cpp
  src/handoff/launch_installer.cpp
  src/handoff/product_registration.cpp
  src/handoff/clean_up.cpp)

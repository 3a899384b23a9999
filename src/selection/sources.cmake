set(MSISTUB_SELECTION_PORTABLE_SOURCES
  src/selection/cabinet_line.cpp
  src/selection/enumerate_manifest.cpp
  src/selection/package_items.cpp
  src/selection/package_line.cpp
  src/selection/select_package.cpp)
set(MSISTUB_SELECTION_WINDOWS_SOURCES)

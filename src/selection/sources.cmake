set(MSISTUB_SELECTION_PORTABLE_SOURCES
  src/selection/cabinet_line.cpp
  src/selection/manifest_fields.cpp
  src/selection/manifest_records.cpp
  src/selection/package_items.cpp
  src/selection/package_line.cpp
  src/selection/select_package.cpp)
set(MSISTUB_SELECTION_WINDOWS_SOURCES)

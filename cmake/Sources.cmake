# Source lists of the layers, lowest first; each folder names its own files
# and includes only the folders listed before it (tests/build/check_layers.sh).
set(MSISTUB_LAYERS platform core format container selection extract handoff launcher)
foreach(layer ${MSISTUB_LAYERS})
  include("${CMAKE_SOURCE_DIR}/src/${layer}/sources.cmake")
endforeach()

set(MSISTUB_PORTABLE_SOURCES)
set(MSISTUB_WINDOWS_SOURCES)
foreach(layer ${MSISTUB_LAYERS})
  string(TOUPPER "${layer}" upper)
  list(APPEND MSISTUB_PORTABLE_SOURCES ${MSISTUB_${upper}_PORTABLE_SOURCES})
  list(APPEND MSISTUB_WINDOWS_SOURCES ${MSISTUB_${upper}_WINDOWS_SOURCES})
endforeach()

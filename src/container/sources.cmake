set(MSISTUB_CONTAINER_PORTABLE_SOURCES src/container/blob_table.cpp)
set(MSISTUB_CONTAINER_WINDOWS_SOURCES
  src/container/own_module_path.cpp
  src/container/open_own_file.cpp
  src/container/load_container_blobs.cpp
  src/container/find_tag_blobs.cpp)

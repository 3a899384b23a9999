set(MSISTUB_CONTAINER_PORTABLE_SOURCES
  src/container/entry_format.cpp
  src/container/read_entry.cpp
  src/container/inflate_to_buffer.cpp
  src/container/inflate_in_place.cpp
  src/container/verify_entry_signature.cpp
  src/container/certificate_table.cpp
  src/container/blob_table.cpp)
set(MSISTUB_CONTAINER_WINDOWS_SOURCES
  src/container/own_module_path.cpp
  src/container/load_container_blobs.cpp
  src/container/find_tag_blobs.cpp
  src/container/verify_digest_cryptoapi.cpp)
set(MSISTUB_CONTAINER_NATIVE_SOURCES src/container/verify_digest_openssl.cpp)

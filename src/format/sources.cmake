set(MSISTUB_FORMAT_PORTABLE_SOURCES
  src/format/entry_format.cpp
  src/format/chain_walk.cpp
  src/format/read_entry.cpp
  src/format/byte_source.cpp
  src/format/entry_stream.cpp
  src/format/verify_entry_signature.cpp
  src/format/verification_key_layout.cpp
  src/format/certificate_table.cpp
  src/format/chain_placement.cpp
  src/format/manifest_records.cpp
  src/format/manifest_fields.cpp
  src/format/manifest_names.cpp)
# The RSA half of the signature check: the system's CryptoAPI in the launcher,
# OpenSSL in the native build (its RSA would multiply the launcher's size).
# The launcher reads its key from its own resource; the native build has a
# key compiled in (MSISTUB_KEY_SOURCE).
set(MSISTUB_FORMAT_WINDOWS_SOURCES src/format/verify_digest_cryptoapi.cpp src/format/verification_key_resource.cpp)
set(MSISTUB_FORMAT_NATIVE_SOURCES src/format/verify_digest_openssl.cpp)

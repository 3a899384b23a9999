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
# The RSA half of the signature check: BearSSL in the launcher (no crypto
# provider to acquire, and a few KiB where OpenSSL's RSA would multiply the
# launcher's size), OpenSSL in the native build.
# The launcher reads its key from its own resource; the native build has a
# key compiled in (MSISTUB_KEY_SOURCE).
set(MSISTUB_FORMAT_WINDOWS_SOURCES src/format/verify_digest_bearssl.cpp src/format/verification_key_resource.cpp)
set(MSISTUB_FORMAT_NATIVE_SOURCES src/format/verify_digest_openssl.cpp)

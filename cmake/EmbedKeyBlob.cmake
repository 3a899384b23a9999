# Turns the 276-byte PUBLICKEYBLOB made by `openssl rsa -outform MSBLOB` into
# the source of the built-in WriteVerificationKey (native build and tests). Anything but an RSA-2048 key is refused.
file(READ "${BLOB}" hex HEX)
string(LENGTH "${hex}" hexLength)
if(NOT hexLength EQUAL 552)
  message(FATAL_ERROR "the verification key must be RSA-2048 (a 276-byte PUBLICKEYBLOB), got ${hexLength} hex digits")
endif()
string(SUBSTRING "${hex}" 16 8 magic)
if(NOT magic STREQUAL "52534131")
  message(FATAL_ERROR "the verification key blob does not hold an RSA1 public key")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUT}.tmp" "// Generated from the verification key's PEM file at build time.
#include \"format/verification_key.h\"

#include <cstring>

bool WriteVerificationKey(uint8_t out[kVerificationKeySize]) {
    const uint8_t key[kVerificationKeySize] = {
    ${bytes}
    };
    std::memcpy(out, key, kVerificationKeySize);
    return true;
}
")
file(RENAME "${OUT}.tmp" "${OUT}")

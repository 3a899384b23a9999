# The verification key is a build input. With MSISTUB_SIGNING_PUBLIC_KEY the
# given PEM public key is embedded; without it a development key pair is made
# once and its public half embedded, while the private half stays where the
# packing tool and the tests find it (MSISTUB_DEV_KEY_DIR).
find_program(OPENSSL_PROGRAM openssl REQUIRED)

if(MSISTUB_SIGNING_PUBLIC_KEY)
  get_filename_component(MSISTUB_PUBLIC_KEY_PEM "${MSISTUB_SIGNING_PUBLIC_KEY}" ABSOLUTE)
  if(NOT EXISTS "${MSISTUB_PUBLIC_KEY_PEM}")
    message(FATAL_ERROR "MSISTUB_SIGNING_PUBLIC_KEY: no file at ${MSISTUB_PUBLIC_KEY_PEM}")
  endif()
  set(MSISTUB_PRIVATE_KEY_PEM "")
else()
  set(MSISTUB_PRIVATE_KEY_PEM "${MSISTUB_DEV_KEY_DIR}/dev-private.pem")
  set(MSISTUB_PUBLIC_KEY_PEM "${MSISTUB_DEV_KEY_DIR}/dev-public.pem")
  if(NOT EXISTS "${MSISTUB_PUBLIC_KEY_PEM}")
    file(MAKE_DIRECTORY "${MSISTUB_DEV_KEY_DIR}")
    execute_process(
      COMMAND "${OPENSSL_PROGRAM}" genrsa -out "${MSISTUB_PRIVATE_KEY_PEM}" 2048
      RESULT_VARIABLE result ERROR_QUIET)
    if(result EQUAL 0)
      execute_process(
        COMMAND "${OPENSSL_PROGRAM}" rsa -in "${MSISTUB_PRIVATE_KEY_PEM}" -pubout -out "${MSISTUB_PUBLIC_KEY_PEM}"
        RESULT_VARIABLE result ERROR_QUIET)
    endif()
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "could not make the development key pair in ${MSISTUB_DEV_KEY_DIR}")
    endif()
    message(STATUS "Made a development key pair in ${MSISTUB_DEV_KEY_DIR}")
  endif()
endif()

set(MSISTUB_KEY_BLOB "${CMAKE_BINARY_DIR}/generated/verification_key.blob")
set(MSISTUB_KEY_SOURCE "${CMAKE_BINARY_DIR}/generated/verification_key_data.cpp")
add_custom_command(
  OUTPUT "${MSISTUB_KEY_SOURCE}" "${MSISTUB_KEY_BLOB}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/generated"
  COMMAND "${OPENSSL_PROGRAM}" rsa -pubin -in "${MSISTUB_PUBLIC_KEY_PEM}" -outform MSBLOB -out "${MSISTUB_KEY_BLOB}"
  COMMAND "${CMAKE_COMMAND}" -DBLOB=${MSISTUB_KEY_BLOB} -DOUT=${MSISTUB_KEY_SOURCE}
          -P "${CMAKE_SOURCE_DIR}/cmake/EmbedKeyBlob.cmake"
  DEPENDS "${MSISTUB_PUBLIC_KEY_PEM}" "${CMAKE_SOURCE_DIR}/cmake/EmbedKeyBlob.cmake"
  COMMENT "Embedding the verification key from ${MSISTUB_PUBLIC_KEY_PEM}"
  VERBATIM)

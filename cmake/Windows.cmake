# The launcher, its unit tests and the end-to-end tests (run under Wine).
include(cmake/Sources.cmake)
enable_language(RC)

if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_cache_home "$ENV{XDG_CACHE_HOME}")
else()
  set(_cache_home "$ENV{HOME}/.cache")
endif()
set(MSISTUB_OPENSSL_MINGW_ROOT "${_cache_home}/msistub/openssl-mingw64" CACHE PATH
    "Static OpenSSL libcrypto built for MinGW-w64 by scripts/setup.sh")
if(NOT EXISTS "${MSISTUB_OPENSSL_MINGW_ROOT}/lib64/libcrypto.a")
  message(FATAL_ERROR "No static libcrypto for MinGW-w64 at ${MSISTUB_OPENSSL_MINGW_ROOT}: run scripts/setup.sh first")
endif()

add_library(mingw_crypto STATIC IMPORTED)
set_target_properties(mingw_crypto PROPERTIES
  IMPORTED_LOCATION "${MSISTUB_OPENSSL_MINGW_ROOT}/lib64/libcrypto.a"
  INTERFACE_INCLUDE_DIRECTORIES "${MSISTUB_OPENSSL_MINGW_ROOT}/include"
  INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;advapi32;user32")

# ISA-L's inflater: only its inflate objects, built by scripts/setup.sh.
set(MSISTUB_ISAL_MINGW_ROOT "${_cache_home}/msistub/isal-mingw64" CACHE PATH
    "Static ISA-L inflater built for MinGW-w64 by scripts/setup.sh")
if(NOT EXISTS "${MSISTUB_ISAL_MINGW_ROOT}/lib/libisal_inflate.a")
  message(FATAL_ERROR "No ISA-L inflater for MinGW-w64 at ${MSISTUB_ISAL_MINGW_ROOT}: run scripts/setup.sh first")
endif()
add_library(mingw_isal STATIC IMPORTED)
set_target_properties(mingw_isal PROPERTIES
  IMPORTED_LOCATION "${MSISTUB_ISAL_MINGW_ROOT}/lib/libisal_inflate.a"
  INTERFACE_INCLUDE_DIRECTORIES "${MSISTUB_ISAL_MINGW_ROOT}/include")

# BearSSL: the launcher's RSA check, built by scripts/setup.sh.
set(MSISTUB_BEARSSL_MINGW_ROOT "${_cache_home}/msistub/bearssl-mingw64" CACHE PATH
    "Static BearSSL built for MinGW-w64 by scripts/setup.sh")
if(NOT EXISTS "${MSISTUB_BEARSSL_MINGW_ROOT}/lib/libbearssl.a")
  message(FATAL_ERROR "No BearSSL for MinGW-w64 at ${MSISTUB_BEARSSL_MINGW_ROOT}: run scripts/setup.sh first")
endif()
add_library(mingw_bearssl STATIC IMPORTED)
set_target_properties(mingw_bearssl PROPERTIES
  IMPORTED_LOCATION "${MSISTUB_BEARSSL_MINGW_ROOT}/lib/libbearssl.a"
  INTERFACE_INCLUDE_DIRECTORIES "${MSISTUB_BEARSSL_MINGW_ROOT}/include")

# zlib: the packing tool compresses with it, and the tests make streams.
find_library(MINGW_ZLIB NAMES libz.a REQUIRED)
find_path(MINGW_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(mingw_zlib STATIC IMPORTED)
set_target_properties(mingw_zlib PROPERTIES
  IMPORTED_LOCATION "${MINGW_ZLIB}"
  INTERFACE_INCLUDE_DIRECTORIES "${MINGW_ZLIB_INCLUDE}")

# Everything but the entry point, so the unit tests link the very same code.
add_library(msistub_core STATIC ${MSISTUB_PORTABLE_SOURCES} ${MSISTUB_WINDOWS_SOURCES})
target_include_directories(msistub_core PUBLIC "${CMAKE_SOURCE_DIR}/src" PRIVATE "${CMAKE_SOURCE_DIR}/res")
target_compile_definitions(msistub_core PUBLIC _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
target_compile_options(msistub_core PRIVATE -Wall -Wextra -fno-exceptions)
target_link_libraries(msistub_core PUBLIC mingw_crypto mingw_isal mingw_bearssl comctl32 shell32 ole32 user32 advapi32)

# A single-file setup must not need any DLL beside it: link the runtime,
# the inflater and libcrypto statically, and ask for ASLR and DEP.
set(MSISTUB_STATIC_LINK_OPTIONS -static -static-libgcc -static-libstdc++
    -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)

include(cmake/Branding.cmake)
# The launcher checks entries with the key in its resource
# MSISTUB_VERIFICATION_KEY. The stub the project builds carries none: the
# packing tool writes each vendor's key into its copy. Built with
# -DMSISTUB_SIGNING_PUBLIC_KEY the stub carries that key, and the packing tool
# then accepts only its private half. The unit tests carry the development key.
set_source_files_properties(res/msistub.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/app.manifest;${CMAKE_SOURCE_DIR}/res/resource_ids.h;${CMAKE_BINARY_DIR}/generated/version_info.rc;${MSISTUB_KEY_BLOB}")

add_executable(msistub WIN32 src/launcher/main.cpp res/msistub.rc)
target_include_directories(msistub PRIVATE "${CMAKE_BINARY_DIR}/generated" "${CMAKE_SOURCE_DIR}/res")
target_link_libraries(msistub PRIVATE msistub_core)
if(MSISTUB_SIGNING_PUBLIC_KEY)
  target_compile_definitions(msistub PRIVATE MSISTUB_KEY_RESOURCE)
endif()
add_custom_target(msistub_key_blob DEPENDS "${MSISTUB_KEY_BLOB}")
add_dependencies(msistub msistub_icon msistub_key_blob)
target_link_options(msistub PRIVATE ${MSISTUB_STATIC_LINK_OPTIONS} -s)
set_target_properties(msistub PROPERTIES OUTPUT_NAME msistub RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")

# A stub built with a key names it beside itself.
if(MSISTUB_SIGNING_PUBLIC_KEY)
  add_custom_command(TARGET msistub POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -E copy "${MSISTUB_PUBLIC_KEY_PEM}" "${CMAKE_BINARY_DIR}/msistub.pub.pem")
else()
  add_custom_command(TARGET msistub POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -E rm -f "${CMAKE_BINARY_DIR}/msistub.pub.pem")
endif()

# The packing tool builds for Windows too (it reads MSI files with msi.dll).
add_subdirectory(tools/pack)

if(MSISTUB_BUILD_TESTS)
  configure_file(scripts/wine-run.sh.in "${CMAKE_BINARY_DIR}/wine-run.sh" @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")
  set(MSISTUB_PACK_TOOL "${CMAKE_SOURCE_DIR}/build/native/tools/pack/msistub-pack" CACHE FILEPATH
      "The native packing tool, used by the end-to-end tests")
  add_test(NAME build.launcher_image
           COMMAND bash "${CMAKE_SOURCE_DIR}/tests/build/check_launcher_image.sh" "$<TARGET_FILE:msistub>")
  # The packages that scripts/package.sh (run by scripts/test.sh before these
  # tests) wrote into dist/ from this build.
  add_test(NAME build.packages
           COMMAND bash "${CMAKE_SOURCE_DIR}/tests/build/check_packages.sh" "${CMAKE_SOURCE_DIR}" "${CMAKE_BINARY_DIR}")
  set_tests_properties(build.packages PROPERTIES RESOURCE_LOCK wine_shared)
  if(NOT MSISTUB_SETUP_ICON AND MSISTUB_SETUP_VERSION STREQUAL PROJECT_VERSION)
    add_test(NAME build.branding
             COMMAND bash "${CMAKE_SOURCE_DIR}/tests/build/check_branding.sh" "$<TARGET_FILE:msistub>"
                     "${PROJECT_VERSION}" "${CMAKE_SOURCE_DIR}")
  endif()
  # A program that imports crypt32 at load time: the image check must reject
  # it, and the planted-DLL test shows with it that a planted DLL does load.
  add_executable(imports_crypt32 tests/build/imports_crypt32.cpp)
  target_link_libraries(imports_crypt32 PRIVATE crypt32)
  target_link_options(imports_crypt32 PRIVATE ${MSISTUB_STATIC_LINK_OPTIONS})
  set_target_properties(imports_crypt32 PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tools")
  add_test(NAME build.launcher_image_check_rejects_crypt32
           COMMAND bash "${CMAKE_SOURCE_DIR}/tests/build/check_rejects_import.sh" "$<TARGET_FILE:imports_crypt32>" CRYPT32.dll)
  add_subdirectory(tests/unit)
  add_subdirectory(tests/driver)
  add_subdirectory(tests/e2e)
endif()

if(MSISTUB_BUILD_TESTS)
  add_executable(report_exit_code tests/tools/report_exit_code.cpp)
  target_link_options(report_exit_code PRIVATE -municode ${MSISTUB_STATIC_LINK_OPTIONS})
  set_target_properties(report_exit_code PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tools")
endif()

# The portable code for Linux: the packing tool, native tests, sanitizer builds.
include(cmake/Sources.cmake)

find_package(ZLIB REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
# ISA-L's inflater (Debian's libisal-dev), the one the launcher links.
find_path(ISAL_INCLUDE_DIR isa-l/igzip_lib.h REQUIRED)
find_library(ISAL_LIBRARY NAMES isal REQUIRED)

option(MSISTUB_FUZZ "Build the libFuzzer targets (clang; the fuzz preset)" OFF)

if(MSISTUB_FUZZ)
  # Everything is instrumented for coverage and checked by the sanitizers;
  # only the fuzz targets link libFuzzer's own main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(MSISTUB_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(msistub_portable STATIC
  ${MSISTUB_PORTABLE_SOURCES} ${MSISTUB_PLATFORM_NATIVE_SOURCES} ${MSISTUB_FORMAT_NATIVE_SOURCES}
  ${MSISTUB_KEY_SOURCE})
target_include_directories(msistub_portable PUBLIC "${CMAKE_SOURCE_DIR}/src")
target_include_directories(msistub_portable SYSTEM PRIVATE "${ISAL_INCLUDE_DIR}")
target_compile_options(msistub_portable PRIVATE -Wall -Wextra)
find_package(Threads REQUIRED)
target_link_libraries(msistub_portable PUBLIC "${ISAL_LIBRARY}" ZLIB::ZLIB OpenSSL::Crypto Threads::Threads)

if(EXISTS "${CMAKE_SOURCE_DIR}/tools/pack/CMakeLists.txt")
  add_subdirectory(tools/pack)
  if(NOT MSISTUB_FUZZ AND NOT MSISTUB_SANITIZE)
    include(cmake/Package.cmake)
  endif()
endif()
if(MSISTUB_BUILD_TESTS)
  add_subdirectory(tests/native)
  if(TARGET msistub_pack_lib)
    add_subdirectory(tests/hostile)
  endif()
endif()
if(MSISTUB_FUZZ)
  enable_testing()
  add_subdirectory(fuzz)
endif()

# What the setup shows of its vendor: the icon of the file and of its progress
# window, and the version resource that Explorer's Properties and deployment
# tools read. Without options the stub is msistub's own, with the project's
# version.
include(cmake/SetupIconCheck.cmake)

set(MSISTUB_SETUP_ICON "" CACHE FILEPATH
    "The setup's icon (.ico with 16x16 and 32x32 images); empty: msistub's own")
set(MSISTUB_SETUP_COMPANY "msistub" CACHE STRING "CompanyName of the setup's version resource")
set(MSISTUB_SETUP_PRODUCT_NAME "msistub" CACHE STRING "ProductName of the setup's version resource")
set(MSISTUB_SETUP_VERSION "${PROJECT_VERSION}" CACHE STRING
    "Version of the setup's version resource: one to four numbers of at most 65535, separated by dots")
set(MSISTUB_SETUP_COPYRIGHT "" CACHE STRING "LegalCopyright of the setup's version resource")
set(MSISTUB_SETUP_DESCRIPTION "${MSISTUB_SETUP_PRODUCT_NAME} Setup" CACHE STRING
    "FileDescription of the setup's version resource; default: the product name and Setup")

# VERSIONINFO's binary fields take four 16-bit numbers; a missing one is 0.
if(NOT MSISTUB_SETUP_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
  message(FATAL_ERROR "MSISTUB_SETUP_VERSION \"${MSISTUB_SETUP_VERSION}\" is not one to four numbers separated by "
                      "dots, such as 2.1.0 or 2.1.0.17")
endif()
string(REPLACE "." ";" _version_parts "${MSISTUB_SETUP_VERSION}")
foreach(_part ${_version_parts})
  if(_part GREATER 65535)
    message(FATAL_ERROR "MSISTUB_SETUP_VERSION \"${MSISTUB_SETUP_VERSION}\": each number is at most 65535")
  endif()
endforeach()
list(LENGTH _version_parts _count)
while(_count LESS 4)
  list(APPEND _version_parts 0)
  math(EXPR _count "${_count} + 1")
endwhile()
list(JOIN _version_parts "," MSISTUB_RC_VERSION_NUMBERS)

# A double quote inside a resource string is written twice.
foreach(_field COMPANY PRODUCT_NAME VERSION COPYRIGHT DESCRIPTION)
  string(REPLACE "\"" "\"\"" MSISTUB_RC_${_field} "${MSISTUB_SETUP_${_field}}")
endforeach()
configure_file(res/version_info.rc.in "${CMAKE_BINARY_DIR}/generated/version_info.rc" @ONLY)

set(MSISTUB_ICON "${CMAKE_BINARY_DIR}/generated/app.ico")
if(MSISTUB_SETUP_ICON)
  msistub_check_setup_icon("${MSISTUB_SETUP_ICON}")
  add_custom_command(
    OUTPUT "${MSISTUB_ICON}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${MSISTUB_SETUP_ICON}" "${MSISTUB_ICON}"
    DEPENDS "${MSISTUB_SETUP_ICON}"
    COMMENT "Taking the setup's icon from ${MSISTUB_SETUP_ICON}"
    VERBATIM)
else()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_custom_command(
    OUTPUT "${MSISTUB_ICON}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/generated"
    COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/scripts/make_icon.py" "${MSISTUB_ICON}"
    DEPENDS "${CMAKE_SOURCE_DIR}/scripts/make_icon.py"
    COMMENT "Drawing the application icon"
    VERBATIM)
endif()
add_custom_target(msistub_icon DEPENDS "${MSISTUB_ICON}")

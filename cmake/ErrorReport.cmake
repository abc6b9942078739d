# Where crash reports are posted. The built-in server (host name, fixed
# fallback address, port 80) is named in src/crash/error_report_server.cpp;
# these cache variables replace any of them for the whole build, for example
# -DKS_ERROR_REPORT_HOST=reports.example.org for an operator's own server.
# Empty means the built-in value.
set(KS_ERROR_REPORT_HOST "" CACHE STRING "Host name of the error-report server (empty: built-in)")
set(KS_ERROR_REPORT_ADDRESS "" CACHE STRING "Address used when the host name does not resolve (empty: built-in)")
set(KS_ERROR_REPORT_PORT "" CACHE STRING "Port of the error-report server (empty: 80)")

set(KS_ERROR_REPORT_SOURCE ${CMAKE_SOURCE_DIR}/src/crash/error_report_server.cpp)

# ks_error_report_definitions(<out-var> <host> <address> <port>): the compile
# definitions for the non-empty values.
function(ks_error_report_definitions out host address port)
  set(_defs "")
  if(NOT host STREQUAL "")
    list(APPEND _defs KS_ERROR_REPORT_HOST="${host}")
  endif()
  if(NOT address STREQUAL "")
    list(APPEND _defs KS_ERROR_REPORT_ADDRESS="${address}")
  endif()
  if(NOT port STREQUAL "")
    if(NOT port MATCHES "^[0-9]+$" OR port GREATER 65535)
      message(FATAL_ERROR "error-report port must be a number from 0 to 65535, not '${port}'")
    endif()
    list(APPEND _defs KS_ERROR_REPORT_PORT=${port})
  endif()
  set(${out} ${_defs} PARENT_SCOPE)
endfunction()

ks_error_report_definitions(_ks_report_defs "${KS_ERROR_REPORT_HOST}" "${KS_ERROR_REPORT_ADDRESS}"
                            "${KS_ERROR_REPORT_PORT}")
if(_ks_report_defs)
  set_property(SOURCE ${KS_ERROR_REPORT_SOURCE} APPEND PROPERTY COMPILE_DEFINITIONS ${_ks_report_defs})
endif()

# ks_error_report_endpoint(<target> HOST <h> ADDRESS <a> PORT <p>): gives one
# program (a test fixture) its own server without touching the rest of the
# build.
function(ks_error_report_endpoint target)
  cmake_parse_arguments(ARG "" "HOST;ADDRESS;PORT" "" ${ARGN})
  ks_error_report_definitions(_defs "${ARG_HOST}" "${ARG_ADDRESS}" "${ARG_PORT}")
  ks_own_copy(${target} ${KS_ERROR_REPORT_SOURCE} ${_defs})
endfunction()

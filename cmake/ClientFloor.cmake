# The lowest client version a signed starter takes (src/package/client_floor.h).
# -DKS_MINIMUM_CLIENT_VERSION=5.2 builds it into the starter, and into kstool
# verify as its default; empty (the default) means no floor.
set(KS_MINIMUM_CLIENT_VERSION "" CACHE STRING "Lowest client version a signed starter takes (empty: none)")

set(KS_CLIENT_FLOOR_SOURCE ${CMAKE_SOURCE_DIR}/src/package/client_floor.cpp)

# ks_client_floor_definition(<out-var> <version>): the compile definition, or
# nothing for an empty floor; a floor that is no version stops the build.
function(ks_client_floor_definition out floor)
  set(_defs "")
  if(NOT floor STREQUAL "")
    if(NOT floor MATCHES "^[0-9]+(\\.[0-9]+)*(-[A-Za-z0-9._+-]+)?$")
      message(FATAL_ERROR "KS_MINIMUM_CLIENT_VERSION must be a version such as 5.2.1 or 5.2.1-beta, not '${floor}'")
    endif()
    set(_defs KS_MINIMUM_CLIENT_VERSION="${floor}")
  endif()
  set(${out} ${_defs} PARENT_SCOPE)
endfunction()

ks_client_floor_definition(_ks_floor_defs "${KS_MINIMUM_CLIENT_VERSION}")
# For the core library and the native kstool's copy of it, once both folders
# are known.
function(_ks_apply_client_floor)
  set_property(SOURCE ${KS_CLIENT_FLOOR_SOURCE} DIRECTORY ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tools/kstool
               APPEND PROPERTY COMPILE_DEFINITIONS ${_ks_floor_defs})
endfunction()
if(_ks_floor_defs)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _ks_apply_client_floor)
endif()

# ks_client_floor(<target> <version>): one program (a test starter) with a
# floor of its own, without touching the rest of the build.
function(ks_client_floor target floor)
  ks_client_floor_definition(_defs "${floor}")
  ks_own_copy(${target} ${KS_CLIENT_FLOOR_SOURCE} ${_defs})
endfunction()

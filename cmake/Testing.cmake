# One test program per subsystem folder under tests/. Files ending in _test.cpp
# are portable and built in both configurations; files ending in _wintest.cpp
# need Windows. tests/fixtures holds shared fixtures (same _win rule).
enable_testing()

set(KS_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)

set(KS_TEST_OUTPUT_DIR ${CMAKE_BINARY_DIR}/tests)

# A test program that gives a silent server 3 s instead of 90 before each
# fetch or report post gives up, so those roads run in a test's time: the
# limit's file is compiled into the target with the shorter value, and the
# linker takes that copy in place of the core library's.
function(ks_quick_receive_limit target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/src/net/receive_limit.cpp)
  target_compile_definitions(${target} PRIVATE KS_RECEIVE_LIMIT_MS=3000)
endfunction()

function(ks_support_sources out_var)
  file(GLOB _support CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fixtures/*.cpp)
  set(_keep "")
  foreach(f ${_support})
    if(f MATCHES "_win\\.cpp$" AND NOT KS_WINDOWS)
      continue()
    endif()
    list(APPEND _keep ${f})
  endforeach()
  set(${out_var} ${_keep} PARENT_SCOPE)
endfunction()

# ks_add_test_suite(<subsystem> [EXTRA_SOURCES files...] [LIBS libs...])
# Builds tests_<subsystem> from tests/<subsystem> and registers it with CTest.
function(ks_add_test_suite sub)
  cmake_parse_arguments(ARG "" "" "EXTRA_SOURCES;LIBS" ${ARGN})
  file(GLOB _portable CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${sub}/*_test.cpp)
  set(_sources ${_portable})
  if(KS_WINDOWS)
    file(GLOB _win CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${sub}/*_wintest.cpp)
    list(APPEND _sources ${_win})
  endif()
  if(NOT _sources)
    return()
  endif()
  ks_support_sources(_support)
  set(_target tests_${sub})
  add_executable(${_target} ${_sources} ${_support} ${ARG_EXTRA_SOURCES})
  target_link_libraries(${_target} PRIVATE kscore gtest gtest_main ${ARG_LIBS})
  target_include_directories(${_target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  set_target_properties(${_target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KS_TEST_OUTPUT_DIR})
  ks_warnings(${_target})
  ks_register_test(${_target} ${_target})
endfunction()

# Native host build: the portable core and its tests, under ASan and UBSan, so
# byte-level parsers can be checked (and fuzzed) without Windows.
set(KS_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
add_compile_options(${KS_SANITIZE} -g)
add_link_options(${KS_SANITIZE})

add_library(kscore STATIC ${KS_PORTABLE_SOURCES})
target_include_directories(kscore PUBLIC ${CMAKE_SOURCE_DIR}/src)
find_package(ZLIB REQUIRED)
target_link_libraries(kscore PUBLIC ZLIB::ZLIB)
ks_warnings(kscore)

set(KS_TEST_DEFINES
  KS_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  KS_BINARY_DIR="${CMAKE_BINARY_DIR}")

function(ks_register_test name target)
  add_test(NAME native_${name} COMMAND ${target} ${ARGN})
  set_tests_properties(native_${name} PROPERTIES TIMEOUT 900)
  target_compile_definitions(${target} PRIVATE ${KS_TEST_DEFINES})
endfunction()

add_subdirectory(${KS_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_subdirectory(tests)
add_subdirectory(tools)
add_subdirectory(bench/triage)
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt)
  add_subdirectory(tests/fuzz)
endif()

# Windows build: one static, self-contained starter, its tools, stand-ins and
# tests, all run under Wine with the build tree's private prefix.
set(KS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)

set(KS_WIN_DEFINES
  WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE
  _WIN32_WINNT=0x0601 WINVER=0x0601
  __USE_MINGW_ANSI_STDIO=1)

# Only libraries that Windows always takes from its system folder are linked;
# every other one is loaded at run time from there (base/system_api_win.h).
set(KS_WIN_LIBS ws2_32 shlwapi shell32 ole32
    oleaut32 uuid advapi32 user32 gdi32 z)

# Everything static: the starter must run as a single file with no DLL beside it.
set(KS_STATIC_LINK -static -static-libgcc -static-libstdc++)

# Line tables for every program: a crash's stack names file and line from
# the unstripped builds (kstool explain --symbols). They never reach the
# shipped starter, which is stripped below.
add_compile_options(-g1)

add_library(kscore STATIC ${KS_PORTABLE_SOURCES} ${KS_WINDOWS_SOURCES})
target_include_directories(kscore PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(kscore PUBLIC ${KS_WIN_DEFINES})
target_link_libraries(kscore PUBLIC ${KS_WIN_LIBS})
target_link_options(kscore INTERFACE ${KS_STATIC_LINK})
ks_warnings(kscore)
include(${CMAKE_SOURCE_DIR}/cmake/ErrorReport.cmake)

set(KS_STARTER_RC ${CMAKE_SOURCE_DIR}/src/ui/resources/starter.rc)
add_executable(KestrelonStarter WIN32 ${CMAKE_SOURCE_DIR}/src/app/main_win.cpp ${KS_STARTER_RC})
target_link_libraries(KestrelonStarter PRIVATE kscore)
target_link_options(KestrelonStarter PRIVATE -municode)
# The shipped starter carries no symbols or debugging information. Its
# unstripped build stays in symbols/ for kstool explain --symbols, which
# knows it for the shipped one's by the link time stamp (kept by strip -p)
# and the image size that crash dumps record.
set_target_properties(KestrelonStarter PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/symbols)
add_custom_command(TARGET KestrelonStarter POST_BUILD
  COMMAND ${CMAKE_STRIP} --preserve-dates --strip-all -o ${CMAKE_BINARY_DIR}/KestrelonStarter.exe
          $<TARGET_FILE:KestrelonStarter>
  VERBATIM)
ks_warnings(KestrelonStarter)

# Compile-time paths that tests use to find the built programs (Unix form;
# tests turn them into Z:\ paths under Wine).
set(KS_TEST_DEFINES
  KS_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  KS_BINARY_DIR="${CMAKE_BINARY_DIR}")

function(ks_register_test name target)
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "WINEPREFIX=${KS_WINEPREFIX};WINEDEBUG=-all"
    TIMEOUT 900)
  target_compile_definitions(${target} PRIVATE ${KS_TEST_DEFINES})
endfunction()

add_subdirectory(${KS_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Per-folder additions (tools, stand-ins, fixtures, benchmarks).
add_subdirectory(tools)
add_subdirectory(tests)
add_subdirectory(bench)

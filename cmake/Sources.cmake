# Source discovery. Every subsystem folder under src/ contributes all its .cpp
# files; files ending in _win.cpp use Windows and are left out of the native
# build. Entry points (main_win.cpp) are not part of the core library.
set(KS_SUBSYSTEMS base pe app setup net package system ui crash support)

set(KS_PORTABLE_SOURCES "")
set(KS_WINDOWS_SOURCES "")
foreach(sub ${KS_SUBSYSTEMS})
  file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${sub}/*.cpp)
  foreach(f ${_all})
    get_filename_component(_name ${f} NAME)
    if(_name STREQUAL "main_win.cpp")
      continue()
    elseif(_name MATCHES "_win\\.cpp$")
      list(APPEND KS_WINDOWS_SOURCES ${f})
    else()
      list(APPEND KS_PORTABLE_SOURCES ${f})
    endif()
  endforeach()
endforeach()

function(ks_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()

# ks_own_copy(<target> <source> <definitions...>): one program (a test
# fixture) compiles its own copy of a core source with its own definitions,
# without touching the rest of the build; the linker takes that copy in place
# of the core library's.
function(ks_own_copy target source)
  get_filename_component(_name ${source} NAME)
  set(_copy ${CMAKE_CURRENT_BINARY_DIR}/${target}_${_name})
  file(WRITE ${_copy}.in "#include \"${source}\"\n")
  configure_file(${_copy}.in ${_copy} COPYONLY)
  target_sources(${target} PRIVATE ${_copy})
  if(ARGN)
    set_property(SOURCE ${_copy} APPEND PROPERTY COMPILE_DEFINITIONS ${ARGN})
  endif()
endfunction()

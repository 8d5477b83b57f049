# Options that cannot be built here turn themselves off, saying why, so that
# every target of a default build builds.

if(LX_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(STATUS "LX_FUZZ: off, libFuzzer needs clang++ (configure with -DCMAKE_CXX_COMPILER=clang++)")
  set(LX_FUZZ OFF)
endif()

if(LX_BUILD_TOOLS)
  find_package(CLI11 CONFIG QUIET)
  if(NOT CLI11_FOUND)
    if(CMAKE_CROSSCOMPILING)
      message(STATUS "LX_BUILD_TOOLS: off, no CLI11 for the target system")
    else()
      message(STATUS "LX_BUILD_TOOLS: off, CLI11 not found (Debian: libcli11-dev)")
    endif()
    set(LX_BUILD_TOOLS OFF)
  endif()
endif()

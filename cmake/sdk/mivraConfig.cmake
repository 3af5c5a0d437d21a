# find_package(mivra CONFIG) for the SDK: the imported target mivra::mivra, the DLL with its
# header and import library. MSVC, lld-link and MinGW's ld all take mivra.lib; MinGW users who
# link by name find libmivra.dll.a beside it. mivra.dll is a Windows x64 library: any other target
# stops here, before a link that would fail far less clearly.
if(TARGET mivra::mivra)
  return()
endif()
get_filename_component(_mivra_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows" OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
  if(CMAKE_SIZEOF_VOID_P)
    math(EXPR _mivra_bits "${CMAKE_SIZEOF_VOID_P} * 8")
  else()
    set(_mivra_bits "?")
  endif()
  message(FATAL_ERROR
    "mivra: the SDK holds a Windows x64 library, but this project builds for ${CMAKE_SYSTEM_NAME} "
    "(${_mivra_bits}-bit). Build for Windows x64: with MinGW-w64 from another system, configure with "
    "-DCMAKE_TOOLCHAIN_FILE=${_mivra_prefix}/toolchain/mingw-w64-x86_64.cmake; "
    "with Visual Studio, use the x64 platform (-A x64).")
endif()
add_library(mivra::mivra SHARED IMPORTED)
set_target_properties(mivra::mivra PROPERTIES
  IMPORTED_LOCATION "${_mivra_prefix}/bin/mivra.dll"
  IMPORTED_IMPLIB "${_mivra_prefix}/lib/mivra.lib"
  INTERFACE_INCLUDE_DIRECTORIES "${_mivra_prefix}/include")
set(mivra_MIVRACTL "${_mivra_prefix}/bin/mivractl.exe")
unset(_mivra_prefix)

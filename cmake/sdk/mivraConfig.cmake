# find_package(mivra CONFIG) for the SDK: the imported target mivra::mivra, the DLL with its
# header and import library. MSVC, lld-link and MinGW's ld all take mivra.lib; MinGW users who
# link by name find libmivra.dll.a beside it.
if(TARGET mivra::mivra)
  return()
endif()
get_filename_component(_mivra_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
add_library(mivra::mivra SHARED IMPORTED)
set_target_properties(mivra::mivra PROPERTIES
  IMPORTED_LOCATION "${_mivra_prefix}/bin/mivra.dll"
  IMPORTED_IMPLIB "${_mivra_prefix}/lib/mivra.lib"
  INTERFACE_INCLUDE_DIRECTORIES "${_mivra_prefix}/include")
set(mivra_MIVRACTL "${_mivra_prefix}/bin/mivractl.exe")
unset(_mivra_prefix)

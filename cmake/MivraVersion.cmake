# The version is set in one place, the project version: every Windows binary that ships carries
# it in a version resource, and the generated mivra_version.h (included by mivra.h, and shipped
# with it) gives it to C and C++ code (target mivra_version).
configure_file(${PROJECT_SOURCE_DIR}/cmake/mivra_version.h.in ${PROJECT_BINARY_DIR}/generated/mivra_version.h @ONLY)
add_library(mivra_version INTERFACE)
target_include_directories(mivra_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

# Gives `target` a version resource with `description`; the file name is the target's output name.
function(mivra_add_version_resource target description)
  get_target_property(type ${target} TYPE)
  get_target_property(prefix ${target} PREFIX)
  if(type STREQUAL "SHARED_LIBRARY")
    set(MIVRA_RC_FILETYPE VFT_DLL)
    set(suffix ${CMAKE_SHARED_LIBRARY_SUFFIX})
  else()
    set(MIVRA_RC_FILETYPE VFT_APP)
    set(suffix ${CMAKE_EXECUTABLE_SUFFIX})
  endif()
  if(NOT prefix)
    set(prefix "")
  endif()
  set(MIVRA_RC_DESCRIPTION "${description}")
  set(MIVRA_RC_NAME ${target})
  set(MIVRA_RC_FILENAME ${prefix}${target}${suffix})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()

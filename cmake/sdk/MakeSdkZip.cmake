# cmake -DBUILD_DIR=... -DSTAGE=... -DZIP=... -P MakeSdkZip.cmake
# Installs the SDK into a fresh STAGE folder and zips its contents, folders at the top, as ZIP.
foreach(var BUILD_DIR STAGE ZIP)
  if(NOT ${var})
    message(FATAL_ERROR "MakeSdkZip: ${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${STAGE})
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE} RESULT_VARIABLE result
                OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "MakeSdkZip: installing into ${STAGE} failed")
endif()
file(GLOB entries RELATIVE ${STAGE} ${STAGE}/*)
get_filename_component(zipFolder ${ZIP} DIRECTORY)
file(MAKE_DIRECTORY ${zipFolder})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip -- ${entries}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "MakeSdkZip: writing ${ZIP} failed")
endif()
message(STATUS "SDK: ${ZIP}")

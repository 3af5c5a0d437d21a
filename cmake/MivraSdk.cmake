# The SDK an integrator takes: `cmake --install` lays it out, the dist target zips it as
# dist/mivra-sdk-<version>.zip.
#   bin/        mivra.dll and mivractl.exe (both stripped), their .debug files
#   include/    mivra.h and the headers it includes, mivra_version.h among them
#   lib/        mivra.lib (MSVC, lld-link), libmivra.dll.a (MinGW), cmake/mivra/ (find_package)
#   toolchain/  the CMake toolchain file for MinGW-w64
#   sample/     the sample product's components and register_sample.exe, which installs them
#   examples/   the updater example and its CMake project
#   README.md (the SDK's own), LICENSE.txt, docs/mivractl.md
include(CMakePackageConfigHelpers)

install(TARGETS mivra RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
install(FILES ${CMAKE_BINARY_DIR}/bin/mivra.dll.debug DESTINATION bin)
install(TARGETS mivractl RUNTIME DESTINATION bin)
install(FILES ${CMAKE_BINARY_DIR}/bin/mivractl.exe.debug DESTINATION bin)
install(FILES ${MIVRA_MSVC_IMPORT_LIB} DESTINATION lib)
# mivra.h and every header it includes.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION include FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/generated/mivra_version.h DESTINATION include)

write_basic_package_version_file(${CMAKE_BINARY_DIR}/sdk/mivraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/sdk/mivraConfig.cmake ${CMAKE_BINARY_DIR}/sdk/mivraConfigVersion.cmake
        DESTINATION lib/cmake/mivra)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake DESTINATION toolchain)

install(TARGETS register_sample RUNTIME DESTINATION sample)
install(FILES $<TARGET_FILE:prdinf> $<TARGET_FILE:lblres> DESTINATION sample)

install(FILES ${PROJECT_SOURCE_DIR}/examples/updater_example.c ${PROJECT_SOURCE_DIR}/examples/CMakeLists.txt
        DESTINATION examples)
install(FILES ${PROJECT_SOURCE_DIR}/sdk/README.md ${PROJECT_SOURCE_DIR}/LICENSE.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/mivractl.md DESTINATION docs)

set(MIVRA_SDK_ZIP ${CMAKE_BINARY_DIR}/dist/mivra-sdk-${PROJECT_VERSION}.zip)
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSTAGE=${CMAKE_BINARY_DIR}/dist/stage
          -DZIP=${MIVRA_SDK_ZIP} -P ${PROJECT_SOURCE_DIR}/cmake/sdk/MakeSdkZip.cmake
  COMMENT "Writing ${MIVRA_SDK_ZIP}"
  VERBATIM)
add_dependencies(dist mivra mivractl mivra_msvc_import_lib register_sample prdinf lblres)

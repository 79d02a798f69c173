# Native installation: the libraries in LIBDIR, the codec folder FIO beside
# them (the library looks there when the host's own folder has none), the
# public headers in INCLUDEDIR/afm3, the abm tool in BINDIR, a pkg-config
# file and a CMake package. Everything is found relative to its own place,
# so the tree works under any prefix.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Relative paths between install folders, for RPATHs and the package files.
function(afm3_relative out from to)
  file(RELATIVE_PATH rel /afm3-root/${from} /afm3-root/${to})
  if(rel STREQUAL "")
    set(rel ".")
  endif()
  set(${out} ${rel} PARENT_SCOPE)
endfunction()
afm3_relative(AFM3_BIN_TO_LIB ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})
afm3_relative(AFM3_PC_TO_PREFIX ${CMAKE_INSTALL_LIBDIR}/pkgconfig .)
afm3_relative(AFM3_CMAKE_TO_PREFIX ${CMAKE_INSTALL_LIBDIR}/cmake/afm3 .)
set(AFM3_LIB_PREFIX ${CMAKE_SHARED_LIBRARY_PREFIX})
set(AFM3_LIB_SUFFIX ${CMAKE_SHARED_LIBRARY_SUFFIX})

set(afm3_libraries afm3 afm3check qplatform q32Comm q32Base qliblzw q32cvt QMBRC)
set(afm3_codecs qlibjpg q32lzw q32zlib)
set_target_properties(abm PROPERTIES INSTALL_RPATH "$ORIGIN/${AFM3_BIN_TO_LIB}")
set_target_properties(${afm3_codecs} PROPERTIES INSTALL_RPATH "$ORIGIN:$ORIGIN/..")

install(TARGETS ${afm3_libraries} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS ${afm3_codecs} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/FIO)
install(TARGETS abm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
file(GLOB afm3_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${afm3_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/afm3)

set(afm3_package_dir ${CMAKE_CURRENT_BINARY_DIR}/package)
configure_file(${CMAKE_CURRENT_LIST_DIR}/afm3.pc.in ${afm3_package_dir}/afm3.pc @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/afm3Config.cmake.in ${afm3_package_dir}/afm3Config.cmake
               @ONLY)
write_basic_package_version_file(${afm3_package_dir}/afm3ConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${afm3_package_dir}/afm3.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES ${afm3_package_dir}/afm3Config.cmake ${afm3_package_dir}/afm3ConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/afm3)

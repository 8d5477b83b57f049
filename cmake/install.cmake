# What `cmake --install` and `cpack -G DEB` put in place: the library, its two
# headers, the lx tool, the CMake package (target lx::lx), lx.pc and the Python
# module.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The SONAME's number changes when an export's signature or meaning changes
# (lx.h's 24 exports are frozen; the data API's major number moves with it).
# Releases that only add exports or fix behaviour keep it.
set(LX_SOVERSION 1)

if(NOT WIN32)
  # The Windows DLL keeps its header and exports exactly as the front-end knows them.
  set_target_properties(lx PROPERTIES VERSION ${LX_SOVERSION}.${PROJECT_VERSION}
                                      SOVERSION ${LX_SOVERSION})
  if(NOT APPLE)
    target_link_options(lx PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/lx.map)
    set_property(TARGET lx APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/lx.map)
  endif()
endif()

target_include_directories(lx PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS lx EXPORT lxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/lx.h ${PROJECT_SOURCE_DIR}/include/lx_data.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(LX_BUILD_TOOLS)
  # The installed tool finds the library beside it, wherever the prefix is.
  file(RELATIVE_PATH lx_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(lx_tool PROPERTIES INSTALL_RPATH "$ORIGIN/${lx_bin_to_lib}")
  install(TARGETS lx_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(lx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/lx)
install(EXPORT lxTargets NAMESPACE lx:: DESTINATION ${lx_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/lxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/lxConfig.cmake INSTALL_DESTINATION ${lx_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lxConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/lxConfig.cmake ${PROJECT_BINARY_DIR}/lxConfigVersion.cmake
  DESTINATION ${lx_cmake_dir})

# lx.pc names its prefix relative to itself, so it holds in any prefix or package.
set(lx_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH LX_PC_TO_PREFIX /${lx_pc_dir} /)
string(REGEX REPLACE "/$" "" LX_PC_TO_PREFIX "${LX_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/lx.pc.in ${PROJECT_BINARY_DIR}/lx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lx.pc DESTINATION ${lx_pc_dir})

if(LX_INSTALL_PYTHON AND NOT WIN32)
  # Debian's place for modules of any Python 3 version.
  set(LX_INSTALL_PYTHONDIR lib/python3/dist-packages CACHE STRING
      "Where the Python module goes, relative to the prefix")
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/lx DESTINATION ${LX_INSTALL_PYTHONDIR}
    PATTERN __pycache__ EXCLUDE)
  # The module loads the library by its SONAME and reports the project's version.
  file(WRITE ${PROJECT_BINARY_DIR}/python/_install.py
       "VERSION = \"${PROJECT_VERSION}\"\nSONAME = \"liblx.so.${LX_SOVERSION}\"\n")
  install(FILES ${PROJECT_BINARY_DIR}/python/_install.py DESTINATION ${LX_INSTALL_PYTHONDIR}/lx)
endif()

# One Debian package with all of it: cpack -G DEB --config BUILD/CPackConfig.cmake
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
set(CPACK_PACKAGE_NAME lx)
set(CPACK_PACKAGE_VENDOR lx)
set(CPACK_PACKAGE_CONTACT "lx maintainers <lx@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "analysis of motorsport data-logger sessions: library, headers, tool and Python module (MIT licence)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lx
  RENAME copyright)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-numpy")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas, python3-matplotlib, python3-distributed")
include(CPack)

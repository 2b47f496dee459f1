# What `cmake --install` puts where, and the archives that CPack makes of it:
#   native build:            (cd build && cpack -G TGZ)      ->  move-to-species-<version>-Linux.tar.gz
#   MinGW-w64 cross build:   (cd build-win && cpack -G ZIP)  ->  move-to-species-<version>-win64.zip
# Only the tool, the README (as Markdown, and its photographer's part as plain text) and the
# example catalogue are installed. Libraries, headers, tests and the test-only stand-ins of
# tests/windows have no install rules and stay out of every archive.

if(WIN32)
  # A Windows user unpacks the zip and finds the .exe, the README and the example side by side.
  set(MTS_INSTALL_BINDIR .)
  set(MTS_INSTALL_DOCDIR .)
else()
  include(GNUInstallDirs)
  set(MTS_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(MTS_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/move-to-species)
endif()

# README.txt: the photographer's part of README.md as plain text that Notepad shows well, made by
# every build. CMake runs the script itself, so a cross build makes it as a native one does.
set(MTS_README_TEXT ${PROJECT_BINARY_DIR}/README.txt)
add_custom_command(
  OUTPUT ${MTS_README_TEXT}
  COMMAND ${CMAKE_COMMAND} -DREADME=${PROJECT_SOURCE_DIR}/README.md -DOUTPUT=${MTS_README_TEXT}
          -P ${PROJECT_SOURCE_DIR}/cmake/readme_text.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/readme_text.cmake
  COMMENT "Making README.txt from README.md"
  VERBATIM)
add_custom_target(mts_readme_text ALL DEPENDS ${MTS_README_TEXT})
# The install takes README.txt with the tool, so a build of the tool alone makes it too.
add_dependencies(move-to-species mts_readme_text)

install(TARGETS move-to-species RUNTIME DESTINATION ${MTS_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${MTS_README_TEXT} DESTINATION ${MTS_INSTALL_DOCDIR})
# The trailing slash installs the files of examples/ themselves, not the folder.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${MTS_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME move-to-species)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MTS_PACKAGE_SYSTEM win64)
  else()
    set(MTS_PACKAGE_SYSTEM win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(MTS_PACKAGE_SYSTEM ${CMAKE_SYSTEM_NAME})
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_SYSTEM_NAME ${MTS_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${MTS_PACKAGE_SYSTEM})
set(CPACK_STRIP_FILES ON)
include(CPack)

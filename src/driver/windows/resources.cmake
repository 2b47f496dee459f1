# The .exe's version resource (Properties > Details in Explorer) and its application manifest,
# both from the project's name, description and version. Included where the executable is made.

enable_language(RC)

set(MTS_AUTHORS "the move-to-species developers")
# Four numbers, as Windows versions go.
set(MTS_VERSION_4 "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
string(REPLACE "." "," MTS_VERSION_COMMAS "${MTS_VERSION_4}")

set(MTS_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/move-to-species.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/move-to-species.manifest.in ${MTS_MANIFEST} @ONLY)
if(MSVC)
  # Its linker makes a manifest of its own and merges the one given to it.
  set(MTS_MANIFEST_RESOURCE "")
  target_sources(move-to-species PRIVATE ${MTS_MANIFEST})
else()
  # The manifest of the process: resource 1 of type RT_MANIFEST (24).
  set(MTS_MANIFEST_RESOURCE "1 24 \"${MTS_MANIFEST}\"")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/move-to-species.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/move-to-species.rc @ONLY)
target_sources(move-to-species PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/move-to-species.rc)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/move-to-species.rc APPEND PROPERTY OBJECT_DEPENDS
             ${MTS_MANIFEST})

# The program's name and version, one for everything. The version is the one in project(Talmar
# VERSION ...) of the top-level CMakeLists.txt; a build of part of the sources (tests/windows) reads
# it from there. The code takes both from the generated header TalmarVersion.h (target
# talmar_version); the other files that name the version are made from their .in templates.
get_filename_component(_talmar_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(PROJECT_NAME STREQUAL "Talmar")
  set(TALMAR_VERSION ${PROJECT_VERSION})
else()
  file(STRINGS ${_talmar_root}/CMakeLists.txt _talmar_project REGEX "^project\\(Talmar VERSION ")
  string(REGEX REPLACE "^project\\(Talmar VERSION ([0-9.]+).*" "\\1" TALMAR_VERSION "${_talmar_project}")
endif()
if(NOT TALMAR_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "No version in project(Talmar VERSION ...) of ${_talmar_root}/CMakeLists.txt")
endif()
set(TALMAR_APP_NAME "Тальмар")

configure_file(${_talmar_root}/cmake/TalmarVersion.h.in ${CMAKE_BINARY_DIR}/generated/TalmarVersion.h @ONLY)
add_library(talmar_version INTERFACE)
target_include_directories(talmar_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# The Windows resource of every Talmar program: the application manifest, carrying the version.
# Sets TALMAR_WINDOWS_RC to the resource script to add to a program's sources.
function(talmar_windows_resource)
  set(dir ${CMAKE_BINARY_DIR}/generated/windows)
  set(TALMAR_MANIFEST ${dir}/talmar.manifest)
  configure_file(${_talmar_root}/packaging/windows/talmar.manifest.in ${TALMAR_MANIFEST} @ONLY)
  configure_file(${_talmar_root}/packaging/windows/talmar.rc.in ${dir}/talmar.rc @ONLY)
  set(TALMAR_WINDOWS_RC ${dir}/talmar.rc PARENT_SCOPE)
endfunction()

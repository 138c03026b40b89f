# One library per folder. Its sources and private headers sit in the folder itself; the headers
# that are its contract sit in include/<folder>/ and are included by the layers above as
# "<folder>/Name.h". A library sees only the public headers of the libraries it links, so a header
# of a layer above it cannot be found at all.
#
#   talmar_library(talmar_store LINKS talmar_base SQLite::SQLite3)
#
# main.cpp, where there is one, is the folder's executable and is left to the caller.
function(talmar_library name)
  cmake_parse_arguments(L "" "" "LINKS" ${ARGN})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/include/${folder}/*.h)
  list(FILTER sources EXCLUDE REGEX ".*/main\\.cpp$")
  add_library(${name} STATIC ${sources})
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  endif()
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LINKS})
endfunction()

# On Windows every program carries the application manifest of packaging/windows (the process
# works in the UTF-8 code page). Included by the top-level CMakeLists.txt after the programs.
if(WIN32)
  enable_language(RC)
  talmar_windows_resource()
  foreach(program talmar talmar-cli talmar-tables talmar-shots)
    if(TARGET ${program})
      target_sources(${program} PRIVATE ${TALMAR_WINDOWS_RC})
    endif()
  endforeach()
  # The window is a windowed program: no console of its own opens beside it.
  if(TARGET talmar)
    set_target_properties(talmar PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endif()

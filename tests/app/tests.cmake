talmar_add_gtest(app_tests SOURCES ${srcs} LIBS talmar_app talmar_sim Qt6::Test)
# The project's version as CMake has it, for the checks that the program shows that one version.
target_compile_definitions(app_tests PRIVATE TALMAR_PROJECT_VERSION="${PROJECT_VERSION}")
# The window tests start the program and make their tables with the real tools.
add_dependencies(app_tests talmar talmar-tables)

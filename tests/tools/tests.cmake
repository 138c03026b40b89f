talmar_add_gtest(tools_tests SOURCES ${srcs} LIBS talmar_tables talmar_store talmar_sim PkgConfig::PXLIB)
# The tools' tests run the real executables from the build tree; the import tests write their
# Paradox tables with pxlib.
add_dependencies(tools_tests talmar-cli talmar-tables talmar-modem-sim)
target_compile_definitions(tools_tests PRIVATE TALMAR_CLI="$<TARGET_FILE:talmar-cli>"
                                               TALMAR_TABLES_TOOL="$<TARGET_FILE:talmar-tables>")

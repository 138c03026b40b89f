talmar_add_gtest(scripts_tests SOURCES ${srcs} LIBS talmar_link Qt6::Core)
# The scripts start the programs from the build tree.
add_dependencies(scripts_tests talmar talmar-modem-sim talmar-tables talmar-cli)

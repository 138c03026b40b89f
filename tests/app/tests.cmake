talmar_add_gtest(app_tests SOURCES ${srcs} LIBS talmar_app talmar_sim Qt6::Test)
# The window tests start the program and make their tables with the real tools.
add_dependencies(app_tests talmar talmar-tables)

talmar_add_gtest(tools_tests SOURCES ${srcs} LIBS talmar_store talmar_sim)

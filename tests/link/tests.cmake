talmar_add_gtest(link_tests SOURCES ${srcs} LIBS talmar_link talmar_sim)

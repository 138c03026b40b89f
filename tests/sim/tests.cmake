talmar_add_gtest(sim_tests SOURCES ${srcs} LIBS talmar_sim talmar_link)

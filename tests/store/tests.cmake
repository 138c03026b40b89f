talmar_add_gtest(store_tests SOURCES ${srcs} LIBS talmar_store)

talmar_add_gtest(app_tests SOURCES ${srcs} LIBS talmar_app talmar_sim Qt6::Test)

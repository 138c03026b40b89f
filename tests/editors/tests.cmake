# The editors' rules headless against real tables (editors_core_tests), and the windows and their
# data-aware controls offscreen (editors_tests). Both share the store tests' table fixture.
file(GLOB editors_core_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/core/*.cpp)
talmar_add_gtest(editors_core_tests SOURCES ${editors_core_srcs} ${PROJECT_SOURCE_DIR}/tests/store/StoreFixture.cpp
                 LIBS talmar_editors_core)

file(GLOB editors_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
talmar_add_gtest(editors_tests SOURCES ${editors_srcs} ${PROJECT_SOURCE_DIR}/tests/store/StoreFixture.cpp
                 ${PROJECT_SOURCE_DIR}/tests/app/AppTestMain.cpp LIBS talmar_app talmar_sim Qt6::Test)
# The window tests make the sample tables with the real tool.
add_dependencies(editors_tests talmar-tables)

# The editors' rules headless against real tables (editors_core_tests), and the editor windows
# offscreen (editors_tests; their data-aware controls are tested in tests/controls). Both share the store tests' table fixture.
file(GLOB editors_core_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/core/*.cpp)
talmar_add_gtest(editors_core_tests SOURCES ${editors_core_srcs} ${PROJECT_SOURCE_DIR}/tests/store/StoreFixture.cpp
                 LIBS talmar_editors_core)

file(GLOB editors_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
talmar_add_gtest(editors_tests SOURCES ${editors_srcs} ${PROJECT_SOURCE_DIR}/tests/store/StoreFixture.cpp
                 ${PROJECT_SOURCE_DIR}/tests/app/AppTestMain.cpp LIBS talmar_app talmar_sim Qt6::Test)
# The window tests make the sample tables with the real tool.
add_dependencies(editors_tests talmar-tables)

# The choosers read over the accessibility bus by another process, as a screen reader reads them:
# the program runs on a virtual display with a private D-Bus session (atspi/session.sh).
file(GLOB editors_atspi_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/atspi/*.cpp)
add_executable(editors_atspi_tests ${editors_atspi_srcs} ${CMAKE_CURRENT_LIST_DIR}/EditorFixture.cpp
               ${PROJECT_SOURCE_DIR}/tests/store/StoreFixture.cpp)
target_link_libraries(editors_atspi_tests PRIVATE talmar_test_support talmar_app talmar_sim Qt6::Test GTest::gtest)
target_compile_definitions(editors_atspi_tests PRIVATE TALMAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                                       TALMAR_BINARY_DIR="${PROJECT_BINARY_DIR}")
add_dependencies(editors_atspi_tests talmar-tables)
add_test(NAME editors_atspi COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/atspi/session.sh
         $<TARGET_FILE:editors_atspi_tests>)
set_tests_properties(editors_atspi PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8" TIMEOUT 300)

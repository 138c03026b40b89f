# The data-aware controls offscreen, in the editor window that is made of them, against the sample
# tables.
talmar_add_gtest(controls_tests SOURCES ${srcs} ${PROJECT_SOURCE_DIR}/tests/editors/EditorFixture.cpp
                 ${PROJECT_SOURCE_DIR}/tests/store/StoreFixture.cpp ${PROJECT_SOURCE_DIR}/tests/app/AppTestMain.cpp
                 LIBS talmar_app talmar_sim Qt6::Test)
add_dependencies(controls_tests talmar-tables)

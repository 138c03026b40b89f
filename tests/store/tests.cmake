# The child process of the lock and crash tests: holds, reads or posts to a table file.
add_executable(store_test_child ${CMAKE_CURRENT_LIST_DIR}/child/StoreChild.cpp)
target_link_libraries(store_test_child PRIVATE talmar_store)

# The programming road of a record (the shared job) is tested with the image it writes.
talmar_add_gtest(store_tests SOURCES ${srcs} LIBS talmar_store talmar_jobs)
add_dependencies(store_tests store_test_child talmar-tables)
target_compile_definitions(store_tests PRIVATE TALMAR_STORE_CHILD="$<TARGET_FILE:store_test_child>"
                                               TALMAR_TABLES_TOOL="$<TARGET_FILE:talmar-tables>")

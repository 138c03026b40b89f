# The system switch against the simulated line and real tables; the store tests' table setup is
# shared.
talmar_add_gtest(remote_tests SOURCES ${srcs} ${CMAKE_CURRENT_LIST_DIR}/../store/StoreFixture.cpp
                 LIBS talmar_remote_core talmar_store talmar_sim)

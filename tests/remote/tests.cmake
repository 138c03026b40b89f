# The system switch against the simulated line and real tables; the store tests' table setup is
# shared.
talmar_add_gtest(remote_tests SOURCES ${srcs} ${CMAKE_CURRENT_LIST_DIR}/../store/StoreFixture.cpp
                 LIBS talmar_remote_core talmar_store talmar_sim)

# The switch and line check windows offscreen, with the main window that owns the port, against
# the simulated line. The window-system queue (Qt's platform interface) lets a test click as the
# display server does, so that the click waits wherever the window does not take input.
file(GLOB remote_window_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/windows/*.cpp)
talmar_add_gtest(remote_window_tests SOURCES ${remote_window_srcs}
                 ${CMAKE_CURRENT_LIST_DIR}/../store/StoreFixture.cpp ${PROJECT_SOURCE_DIR}/tests/app/AppTestMain.cpp
                 LIBS talmar_app talmar_sim Qt6::Test Qt6::GuiPrivate)

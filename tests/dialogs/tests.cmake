# The preference windows offscreen, with the main window that owns the port, against the
# simulated line; the remote windows' fixture is shared.
talmar_add_gtest(dialogs_tests SOURCES ${srcs} ${PROJECT_SOURCE_DIR}/tests/remote/windows/WindowFixture.cpp
                 ${PROJECT_SOURCE_DIR}/tests/store/StoreFixture.cpp ${PROJECT_SOURCE_DIR}/tests/app/AppTestMain.cpp
                 LIBS talmar_app talmar_sim Qt6::Test Qt6::GuiPrivate)

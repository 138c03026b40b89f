// Entry of the accessibility-bus tests: a full QApplication on the platform session.sh chose (a
// virtual X display), so that Qt's bridge to the accessibility bus is there.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Widget tests need one QApplication for the whole run; windows are driven offscreen.
#include <QApplication>
#include <gtest/gtest.h>

#include "test_main.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return mk::test::run_all_tests();
}

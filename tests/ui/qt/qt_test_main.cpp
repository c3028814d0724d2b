// GoogleTest main for the tests that drive real widgets: one QApplication for
// the whole run (the CTest tests set QT_QPA_PLATFORM=offscreen). Listing the
// tests needs no application, so test discovery works without a display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}

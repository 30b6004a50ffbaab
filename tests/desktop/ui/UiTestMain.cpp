// Entry point of the view tests: one QApplication for the whole run, on the offscreen platform unless
// the caller chose another, with the locale pinned so the catalogue's order is the same everywhere.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

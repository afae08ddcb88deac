#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests of the Qt Core-only libraries: an application object for Qt's
// per-process state, and no GUI at all.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

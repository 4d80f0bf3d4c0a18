#include <QApplication>
#include <QtGlobal>

#include <gtest/gtest.h>

// The window tests need a QApplication, and no display: offscreen unless the caller chose a
// platform. Test discovery runs this binary too, outside the test's environment.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}

// GoogleTest's main inside a Qt application, so the tests have an event loop (and, for
// widget tests, a GUI application on the offscreen platform).

#include <gtest/gtest.h>

#ifdef ZELVAX_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
#ifdef ZELVAX_TEST_GUI
    // CTest sets the platform too, but listing the tests happens outside it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

#include <QGuiApplication>
#include <QFileInfo>
#include <gtest/gtest.h>

// The core's tests link no Widgets. Text layout (rich text, fonts) still needs a GUI
// application; without a display the offscreen platform serves.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The station syncs what it writes to the disk; temporary folders in memory make that
    // free, so the suite pays for what it tests and not for the disk.
    if (qEnvironmentVariableIsEmpty("TMPDIR") && QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

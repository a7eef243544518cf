#include <QApplication>
#include <QFileInfo>
#include <gtest/gtest.h>

// Screen tests need a QApplication; without a display the offscreen platform serves.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The station syncs what it writes to the disk; temporary folders in memory make that
    // free, so the suite pays for what it tests and not for the disk.
    if (qEnvironmentVariableIsEmpty("TMPDIR") && QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

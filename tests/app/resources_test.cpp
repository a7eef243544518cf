#include "common/rtf_reader.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

// The resources live in a static library; nothing else references them, so the test pulls
// them in itself.
static void initTarvexResources() { Q_INIT_RESOURCE(tarvex); }

namespace tarvex {
namespace {

QByteArray manual()
{
    initTarvexResources();
    QFile file(QStringLiteral(":/TX05Manual.rtf"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

TEST(ShippedManual, ConvertsWithoutErrorAndHasItsHeadings)
{
    const QByteArray rtf = manual();
    ASSERT_FALSE(rtf.isEmpty());
    QString error;
    const QString text = rtfToPlainText(rtf, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Setting Up the Camera Grids")));
    EXPECT_TRUE(text.contains(QLatin1String("Recording a Jump Pass")));
    EXPECT_FALSE(text.contains(QLatin1String("\\par")));
    EXPECT_FALSE(text.contains(QLatin1String("fonttbl")));

    const QString html = rtfToHtml(rtf, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    QTextDocument doc;
    doc.setHtml(html);
    EXPECT_EQ(doc.toPlainText() + QLatin1Char('\n'), QString(text).replace(QChar(u'\u00A0'), QLatin1Char(' ')));
    // The heading is bold where it heads its chapter (the contents list may name it too).
    bool boldHeading = false;
    for (QTextCursor c = doc.find(QStringLiteral("Setting Up the Camera Grids")); !c.isNull();
         c = doc.find(QStringLiteral("Setting Up the Camera Grids"), c)) {
        QTextCursor at(&doc);
        at.setPosition(c.selectionStart() + 1);
        boldHeading = boldHeading || at.charFormat().font().bold();
    }
    EXPECT_TRUE(boldHeading);
}

TEST(ShippedIcons, QtLoadsEveryIconAtItsSize)
{
    initTarvexResources();
    const struct { const char* name; int size; } icons[] = {
        {"SmallSmiley.jpg", 32}, {"SmallCaution.jpg", 32}, {"msgbox03.ico", 32},
        {"face02.ico", 32},      {"arrow_up.png", 16},     {"arrow_down.png", 16},
        {"arrow_left.png", 16},  {"arrow_right.png", 16},  {"clipboard.png", 24},
        {"snapshot.png", 24},
    };
    for (const auto& icon : icons) {
        const QString path = QStringLiteral(":/icons/") + QLatin1String(icon.name);
        const QImage image(path);
        ASSERT_FALSE(image.isNull()) << icon.name << ": " << QImageReader(path).errorString().toStdString();
        EXPECT_EQ(image.size(), QSize(icon.size, icon.size)) << icon.name;
        EXPECT_FALSE(QIcon(path).isNull()) << icon.name;
    }
}

} // namespace
} // namespace tarvex

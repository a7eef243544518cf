#include "measure/skier_picker.h"
#include "measure/skier_name_list.h"
#include "common/twips.h"
#include "station/station.h"

#include "common/text_file.h"
#include "common/text_forms.h"
#include "widgets/controls.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvex {

SkierPicker::SkierPicker(Station& station, QWidget* parent) : QDialog(parent), station_(station)
{
    setObjectName(QStringLiteral("frmSelectSkier"));
    setWindowTitle(QStringLiteral("Select A Skier"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    QLabel* label = makeLabel(this, "Label1", QStringLiteral("Double Click on Skier Name to select it"));
    list_ = named(new QListWidget(this), "lstSkiers");
    QPushButton* none = makeButton(this, "cmdNoSelect", QStringLiteral("No Selection"), this, &SkierPicker::chooseNone);
    connect(list_, &QListWidget::itemDoubleClicked, this, &SkierPicker::chooseName);
    layout->addWidget(label);
    layout->addWidget(list_, 1);
    layout->addWidget(none, 0, Qt::AlignRight);
    move(pixelsFromTwips(2280), pixelsFromTwips(120));
    resize(320, 420);
    fill();
}

void SkierPicker::fill()
{
    const QString path = station_.programFile(QStringLiteral("SkierNames.txt"));
    QString why;
    const std::optional<QByteArray> bytes = readFileBytes(path, readLimit::nameFile, &why);
    if (!bytes) {
        station_.prompter().message(QStringLiteral("The skier list %1 cannot be read: %2")
                                        .arg(QDir::toNativeSeparators(path), why),
                                    QStringLiteral("Select A Skier"), Icon::Exclamation);
        return;
    }
    list_->addItems(skierListFromBytes(*bytes));
}

std::optional<QString> SkierPicker::choose(Station& station, QWidget* parent)
{
    SkierPicker window(station, parent);
    window.exec();
    return window.chosen();
}

void SkierPicker::chooseName(QListWidgetItem* item)
{
    if (!item)
        return;
    chosen_ = item->text();
    accept();
}

void SkierPicker::chooseNone()
{
    chosen_.reset();
    reject();
}

} // namespace tarvex

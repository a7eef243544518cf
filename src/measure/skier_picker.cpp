#include "measure/skier_picker.h"
#include "measure/skier_name_list.h"
#include "common/twips.h"
#include "station/station.h"

#include "common/text_file.h"
#include "common/text_forms.h"

#include <QDir>
#include <QFile>
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
    auto* label = new QLabel(QStringLiteral("Double Click on Skier Name to select it"), this);
    label->setObjectName(QStringLiteral("Label1"));
    lstSkiers = new QListWidget(this);
    lstSkiers->setObjectName(QStringLiteral("lstSkiers"));
    auto* none = new QPushButton(QStringLiteral("No Selection"), this);
    none->setObjectName(QStringLiteral("cmdNoSelect"));
    connect(lstSkiers, &QListWidget::itemDoubleClicked, this, &SkierPicker::lstSkiers_DblClick);
    connect(none, &QPushButton::clicked, this, &SkierPicker::cmdNoSelect_Click);
    layout->addWidget(label);
    layout->addWidget(lstSkiers, 1);
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
    lstSkiers->addItems(skierListFromBytes(*bytes));
}

std::optional<QString> SkierPicker::choose(Station& station, QWidget* parent)
{
    SkierPicker window(station, parent);
    window.exec();
    return window.chosen();
}

void SkierPicker::lstSkiers_DblClick(QListWidgetItem* item)
{
    if (!item)
        return;
    chosen_ = item->text();
    accept();
}

void SkierPicker::cmdNoSelect_Click()
{
    chosen_.reset();
    reject();
}

} // namespace tarvex

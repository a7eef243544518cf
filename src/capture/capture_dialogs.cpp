#include "capture/capture_dialogs.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

namespace tarvex {

namespace {

QDialogButtonBox* okCancel(QDialog& d)
{
    auto* b = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(b, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(b, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    return b;
}

QComboBox* listBox(QDialog& d, const QString& name, const QStringList& items, int current)
{
    auto* box = new QComboBox(&d);
    box->setObjectName(name);
    box->addItems(items);
    box->setCurrentIndex(current);
    box->setEnabled(items.size() > 1);
    return box;
}

} // namespace

bool QtCaptureDialogs::chooseVideoSource(VideoSourceChoice& c)
{
    QDialog d(parent_);
    d.setObjectName(QStringLiteral("VideoSourceDialog"));
    d.setWindowTitle(QStringLiteral("Video Source"));
    auto* form = new QFormLayout(&d);
    form->addRow(QStringLiteral("Device:"), new QLabel(c.device, &d));
    QComboBox* input = listBox(d, QStringLiteral("input"), c.inputs, c.input);
    if (!c.inputs.isEmpty())
        form->addRow(QStringLiteral("Input:"), input);
    QComboBox* format = listBox(d, QStringLiteral("colorFormat"), c.colorFormats, c.colorFormat);
    form->addRow(QStringLiteral("Color format:"), format);
    QComboBox* size = listBox(d, QStringLiteral("resolution"), c.resolutions, c.resolution);
    form->addRow(QStringLiteral("Resolution:"), size);
    auto* rate = new QSpinBox(&d);
    rate->setObjectName(QStringLiteral("frameRate"));
    rate->setRange(1, 120);
    rate->setValue(std::max(1, c.framesPerSecond));
    rate->setSuffix(QStringLiteral(" fps"));
    form->addRow(QStringLiteral("Frame rate:"), rate);
    form->addRow(okCancel(d));
    if (d.exec() != QDialog::Accepted)
        return false;
    c.input = c.inputs.isEmpty() ? -1 : input->currentIndex();
    c.colorFormat = format->currentIndex();
    c.resolution = size->currentIndex();
    c.framesPerSecond = rate->value();
    return true;
}

bool QtCaptureDialogs::chooseCompression(CompressionChoice& c)
{
    QDialog d(parent_);
    d.setObjectName(QStringLiteral("VideoCompressionDialog"));
    d.setWindowTitle(QStringLiteral("Video Compression"));
    auto* form = new QFormLayout(&d);
    form->addRow(QStringLiteral("Compressor:"), new QLabel(c.compressor, &d));
    auto* quality = new QSlider(Qt::Horizontal, &d);
    quality->setObjectName(QStringLiteral("quality"));
    quality->setRange(1, 100);
    quality->setValue(c.quality);
    auto* shown = new QLabel(QString::number(c.quality), &d);
    QObject::connect(quality, &QSlider::valueChanged, shown, [shown](int v) { shown->setNum(v); });
    form->addRow(QStringLiteral("Quality:"), quality);
    form->addRow(QString(), shown);
    form->addRow(okCancel(d));
    if (d.exec() != QDialog::Accepted)
        return false;
    c.quality = quality->value();
    return true;
}

bool QtCaptureDialogs::chooseAudioFormat(AudioFormatChoice& c)
{
    QDialog d(parent_);
    d.setObjectName(QStringLiteral("AudioFormatDialog"));
    d.setWindowTitle(QStringLiteral("Audio Format"));
    auto* form = new QFormLayout(&d);
    QStringList rates;
    for (int r : c.sampleRates)
        rates << QStringLiteral("%1 Hz").arg(r);
    QComboBox* rate = listBox(d, QStringLiteral("sampleRate"), rates, int(c.sampleRates.indexOf(c.sampleRate)));
    form->addRow(QStringLiteral("Sample rate:"), rate);
    QComboBox* channels = listBox(d, QStringLiteral("channels"), {QStringLiteral("Mono"), QStringLiteral("Stereo")},
                                  c.channels == 2 ? 1 : 0);
    form->addRow(QStringLiteral("Channels:"), channels);
    QComboBox* bits = listBox(d, QStringLiteral("bits"), {QStringLiteral("8 bit"), QStringLiteral("16 bit")},
                              c.bits == 16 ? 1 : 0);
    form->addRow(QStringLiteral("Sample size:"), bits);
    form->addRow(okCancel(d));
    if (d.exec() != QDialog::Accepted)
        return false;
    if (rate->currentIndex() >= 0)
        c.sampleRate = c.sampleRates[rate->currentIndex()];
    c.channels = channels->currentIndex() == 1 ? 2 : 1;
    c.bits = bits->currentIndex() == 1 ? 16 : 8;
    return true;
}

} // namespace tarvex

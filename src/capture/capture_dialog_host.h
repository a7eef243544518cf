#pragma once
// The component's own dialogs (video source and format, compression, audio format) are
// widgets; the component is not. It asks through this interface, which the station fills
// with the Qt dialogs (capture_dialogs.h) and tests with a scripted answer.
#include <QList>
#include <QString>
#include <QStringList>

namespace tarvex {

struct VideoSourceChoice {
    QString device;            // shown, not chosen here
    QStringList inputs;
    int input = -1;
    QStringList resolutions;
    int resolution = -1;
    QStringList colorFormats;
    int colorFormat = -1;
    int framesPerSecond = 30;
};

struct CompressionChoice {
    QString compressor;
    int quality = 85;          // 1..100
};

struct AudioFormatChoice {
    QList<int> sampleRates;    // what the device takes
    int sampleRate = 44100;
    int channels = 2;
    int bits = 16;
};

class CaptureDialogHost {
public:
    virtual ~CaptureDialogHost() = default;
    // Each shows its dialog modally; true when the operator accepted, with the choice edited.
    virtual bool chooseVideoSource(VideoSourceChoice& choice) = 0;
    virtual bool chooseCompression(CompressionChoice& choice) = 0;
    virtual bool chooseAudioFormat(AudioFormatChoice& choice) = 0;
};

} // namespace tarvex

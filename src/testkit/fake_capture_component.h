#pragma once
// The station's capture component over a FakeCaptureDevice, which counts and logs every
// operation so a test can assert what the station asked of it, and fails one on request.
#include "capture/capture_component.h"
#include "testkit/fake_capture_device.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <deque>
#include <functional>

namespace tarvex {

class FakeCaptureComponent : public CaptureComponent {
    Q_OBJECT
public:
    explicit FakeCaptureComponent(QObject* parent = nullptr);

    FakeCaptureDevice& fakeDevice() const { return *device_; }

    // --- Scripting (silent: no notification, not counted) ---
    // The first video device added becomes the selected one.
    FakeCaptureComponent& addVideoDevice(const FakeVideoDevice& device);
    FakeCaptureComponent& addAudioDevice(const QString& name, bool select = false);
    FakeVideoDevice& videoDeviceData(int index) { return device_->video[index]; }
    void setVideoCompressors(const QStringList& names, int selected = -1);
    void setAudioCompressors(const QStringList& names, int selected = -1);
    void setEffects(const QString& category, const QStringList& names, int currentInSlot0 = -1);
    void setDialogAvailable(int id, bool available = true);
    void setAudioFormat(int hz, int channels, int bits);
    // Sample rates the device takes; others are refused with Unsupported. Empty: any.
    void setSupportedSampleRates(const QList<int>& rates) { device_->rates = rates; }
    void setStatistics(const CaptureStatistics& s) { device_->stats = s; }
    void setPreviewState(bool on) { preview_ = on; }
    void setFrameRateState(int fps) { fps_ = fps; }
    void setTimeLimitState(int seconds) { limit_ = seconds; }
    void setListenState(bool on) { listen_ = on; }
    void setFrameOptionsState(const FrameCaptureOptions& o) { frameOptions_ = o; }
    // Runs when a dialog is shown, after it is counted: lets a test play the operator's
    // choices in the device's own dialog.
    void onDialog(std::function<void(int id)> f) { onDialog_ = std::move(f); }

    // --- Failures, by operation name (the method name, e.g. "connectDevice") ---
    void failNext(const QString& op, const CaptureError& e);    // once, queued
    void failAlways(const QString& op, const CaptureError& e);  // until clearFailures()
    void clearFailures();

    // --- What was asked ---
    int calls(const QString& op) const { return counts_.value(op); }
    // Every operation with its arguments, in order: "connectDevice(0)", "setPreview(true)".
    const QStringList& log() const { return log_; }
    QStringList log(const QString& op) const;   // the entries of one operation
    void clearLog() { log_.clear(); counts_.clear(); }

    // --- Notifications ---
    void plugVideoDevice(const FakeVideoDevice& device);
    void unplugVideoDevice(int index) { device_->unplugVideo(index); }
    void plugAudioDevice(const QString& name) { device_->plugAudio(name); }
    void unplugAudioDevice(int index) { device_->unplugAudio(index); }
    void emitStatusText(const QString& text) { emit statusText(text); }
    void emitStatusCode(int code, const QString& text) { emit statusCode(code, text); }
    void emitWarning(const QString& text) { emit warning(text); }

protected:
    CaptureResult admit(const QString& op, const QString& args) override;
    // A companion sees the same cameras as the first device.
    std::shared_ptr<CaptureDevice> makeCompanionDevice() override;
    bool offersDialog(int id) const override { return dialogs_.contains(id); }
    CaptureResult runDialog(int id) override;

private:
    FakeCaptureComponent(std::shared_ptr<FakeCaptureDevice> device, QObject* parent);

    std::shared_ptr<FakeCaptureDevice> device_;
    QList<int> dialogs_;
    std::function<void(int)> onDialog_;
    QHash<QString, std::deque<CaptureError>> once_;
    QHash<QString, CaptureError> always_;
    QHash<QString, int> counts_;
    QStringList log_;
};

} // namespace tarvex

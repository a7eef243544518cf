#pragma once
// Sound from a libavdevice input (ALSA, PulseAudio, DirectShow) as interleaved PCM of the
// recording's format.
#include "capture/capture_backend.h"
#include <QByteArray>
#include <memory>

namespace tarvex {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Blocks for the next block of samples; empty when interrupted or failed (see error()).
    virtual QByteArray read() = 0;
    virtual void interrupt() = 0;
    virtual QString error() const = 0;
};

// bits 8 gives unsigned 8-bit samples, 16 signed little-endian ones.
std::unique_ptr<AudioSource> openAudioSource(const AudioDeviceInfo& device, int sampleRate, int channels, int bits,
                                             QString& error);

} // namespace tarvex

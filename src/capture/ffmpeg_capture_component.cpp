#include "capture/ffmpeg_capture_component.h"
#include "capture/audio_source.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tarvex {

namespace {

constexpr std::size_t kQueueFrames = 8;
constexpr int kPreviewIntervalMs = 16;   // a display's refresh; faster pictures would never be seen

CaptureError notConnected() { return {CaptureError::NotConnected, QStringLiteral("No capture device is connected")}; }
CaptureError badIndex() { return {CaptureError::BadIndex, QStringLiteral("Invalid index")}; }
CaptureError unsupported(const QString& what) { return {CaptureError::Unsupported, what}; }

QString sizeName(QSize s) { return QStringLiteral("%1x%2").arg(s.width()).arg(s.height()); }

double secondsBetween(CaptureClock::time_point a, CaptureClock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// The size a device starts with: 1280x720 where it has it (what every supported machine
// records without dropping), else the largest below it, else its smallest.
int defaultResolution(const QList<QSize>& sizes)
{
    int best = -1;
    for (int i = 0; i < sizes.size(); ++i) {
        if (sizes[i] == QSize(1280, 720))
            return i;
        if (sizes[i].width() <= 1280 && sizes[i].height() <= 720
            && (best < 0 || sizes[i].width() * sizes[i].height() > sizes[best].width() * sizes[best].height()))
            best = i;
    }
    return best >= 0 ? best : (sizes.isEmpty() ? -1 : 0);
}

} // namespace

bool rehearsalFromEnvironment() { return qEnvironmentVariable("TARVEX_REHEARSAL") == QLatin1String("1"); }

// What the capture and encoder threads share with the component. Everything below the mutex
// is guarded by it.
struct FfmpegCaptureComponent::Shared {
    std::unique_ptr<FrameSource> source;
    std::thread captureThread;
    std::thread encoderThread;
    std::atomic<bool> stopStreaming{false};
    std::atomic<bool> previewOn{false};
    std::atomic<bool> previewPending{false};

    std::mutex m;
    std::condition_variable cv;
    QImage newest;
    // The recording.
    long generation = 0;
    bool armed = false;        // startCapture done, frames are wanted
    bool started = false;      // slot 0 has been given
    bool ended = false;        // no more frames are taken
    std::optional<CaptureClock::time_point> planned;
    CaptureClock::time_point start;
    CaptureClock::time_point end;
    int fps = 30;
    long limitSlots = 0;       // 0 = no limit
    long lastSlot = -1;
    long dropped = 0;
    std::deque<std::pair<long, QImage>> queue;
    std::unique_ptr<AviRecorder> recorder;
    QString failure;           // why the encoder stopped early
    std::function<qint64()> freeBytes;
    // Sound of the recording, read by its own thread straight into the recorder.
    std::unique_ptr<AudioSource> audio;
    std::thread audioThread;
    std::atomic<long> audioSamples{0};
};

FfmpegCaptureComponent::FfmpegCaptureComponent(FfmpegCaptureOptions options, QObject* parent)
    : CaptureComponent(parent), options_(std::move(options)), s_(std::make_shared<Shared>())
{
    platform_ = options_.videoBackend ? options_.videoBackend : std::shared_ptr<VideoBackend>(makePlatformVideoBackend());
    if (options_.rehearsal)
        rehearsal_ = std::make_shared<RehearsalBackend>(options_.rehearsalScript);
    audioBackend_ = options_.audioBackend ? options_.audioBackend
                                          : std::shared_ptr<AudioBackend>(makeLibavdeviceAudioBackend());
    video_ = listVideoDevices();
    audio_ = audioBackend_->devices();
    selectedVideo_ = video_.isEmpty() ? -1 : 0;
    codecs_ = availableVideoCodecs();
    compressor_ = codecs_.isEmpty() ? -1 : 0;
    if (options_.devicePollMs > 0) {
        poll_.setInterval(options_.devicePollMs);
        connect(&poll_, &QTimer::timeout, this, &FfmpegCaptureComponent::pollDevices);
        poll_.start();
    }
}

FfmpegCaptureComponent::~FfmpegCaptureComponent()
{
    if (capturing_)
        finishRecording({});
    stopStreaming();
}

QList<FfmpegCaptureComponent::Device> FfmpegCaptureComponent::listVideoDevices() const
{
    QList<Device> out;
    for (const VideoDeviceInfo& d : platform_->devices())
        out << Device{platform_.get(), d};
    if (rehearsal_)
        for (const VideoDeviceInfo& d : rehearsal_->devices())
            out << Device{rehearsal_.get(), d};
    return out;
}

CaptureError FfmpegCaptureComponent::busy() const
{
    return {CaptureError::Busy, QStringLiteral("Not possible while a recording runs")};
}

// --- Devices ---

QString FfmpegCaptureComponent::videoDeviceName(int index) const
{
    return index >= 0 && index < video_.size() ? video_[index].info.name : QString();
}

CaptureResult FfmpegCaptureComponent::setVideoDevice(int index)
{
    if (index == -1) {
        selectedVideo_ = -1;
        return {};
    }
    if (video_.isEmpty())
        return CaptureError{CaptureError::NoDevice, QStringLiteral("No capture device is available")};
    if (index < 0 || index >= video_.size())
        return badIndex();
    selectedVideo_ = index;
    return {};
}

QString FfmpegCaptureComponent::audioDeviceName(int index) const
{
    return index >= 0 && index < audio_.size() ? audio_[index].name : QString();
}

CaptureResult FfmpegCaptureComponent::setAudioDevice(int index)
{
    if (index != -1 && (index < 0 || index >= audio_.size()))
        return audio_.isEmpty() ? CaptureResult(CaptureError{CaptureError::NoDevice, QStringLiteral("No sound device is available")})
                                : CaptureResult(badIndex());
    if (capturing_)
        return busy();
    selectedAudio_ = index;
    return {};
}

CaptureResult FfmpegCaptureComponent::connectDevice(int index)
{
    if (video_.isEmpty())
        return CaptureError{CaptureError::NoDevice, QStringLiteral("No capture device is available")};
    if (index < 0 || index >= video_.size())
        return badIndex();
    if (capturing_)
        return busy();
    if (connected_)
        (void)disconnectDevice();
    selectedVideo_ = index;
    device_ = video_[index].info;
    deviceBackend_ = video_[index].backend;
    colorFormat_ = device_.formats.isEmpty() ? -1 : 0;
    resolution_ = colorFormat_ < 0 ? -1 : defaultResolution(device_.formats[0].sizes);
    input_ = 0;
    channel_ = device_.lowestChannel;
    connected_ = true;
    if (preview_) {
        if (auto e = ensureStreaming()) {
            connected_ = false;
            return e;
        }
    }
    const QString text = QStringLiteral("Connected to %1").arg(device_.name);
    QMetaObject::invokeMethod(this, [this, text] { emit statusText(text); }, Qt::QueuedConnection);
    return {};
}

CaptureResult FfmpegCaptureComponent::disconnectDevice()
{
    if (capturing_)
        finishRecording({});
    stopStreaming();
    connected_ = false;
    return {};
}

// --- Format lists of the connected device ---

int FfmpegCaptureComponent::resolutionCount() const
{
    return connected_ && colorFormat_ >= 0 ? int(device_.formats[colorFormat_].sizes.size()) : 0;
}

QString FfmpegCaptureComponent::resolutionName(int index) const
{
    if (index < 0 || index >= resolutionCount())
        return {};
    return sizeName(device_.formats[colorFormat_].sizes[index]);
}

CaptureResult FfmpegCaptureComponent::setResolution(int index)
{
    if (!connected_)
        return notConnected();
    if (index < 0 || index >= resolutionCount())
        return badIndex();
    if (capturing_)
        return busy();
    resolution_ = index;
    updateStreaming();
    return {};
}

int FfmpegCaptureComponent::colorFormatCount() const { return connected_ ? int(device_.formats.size()) : 0; }

QString FfmpegCaptureComponent::colorFormatName(int index) const
{
    return index >= 0 && index < colorFormatCount() ? device_.formats[index].name : QString();
}

CaptureResult FfmpegCaptureComponent::setColorFormat(int index)
{
    if (!connected_)
        return notConnected();
    if (index < 0 || index >= colorFormatCount())
        return badIndex();
    if (capturing_)
        return busy();
    const QSize keep = currentSize();
    colorFormat_ = index;
    const QList<QSize>& sizes = device_.formats[index].sizes;
    resolution_ = sizes.contains(keep) ? int(sizes.indexOf(keep)) : defaultResolution(sizes);
    updateStreaming();
    return {};
}

int FfmpegCaptureComponent::videoInputCount() const { return connected_ ? int(device_.inputs.size()) : 0; }

QString FfmpegCaptureComponent::videoInputName(int index) const
{
    return index >= 0 && index < videoInputCount() ? device_.inputs[index] : QString();
}

CaptureResult FfmpegCaptureComponent::setVideoInput(int index)
{
    if (!connected_)
        return notConnected();
    if (index < 0 || index >= videoInputCount())
        return badIndex();
    if (capturing_)
        return busy();
    input_ = index;
    updateStreaming();
    return {};
}

CaptureResult FfmpegCaptureComponent::setChannel(int channel)
{
    if (!connected_)
        return notConnected();
    if (!hasTuner())
        return unsupported(QStringLiteral("The device has no tuner"));
    if (channel < device_.lowestChannel || channel > device_.highestChannel)
        return badIndex();
    channel_ = channel;
    return {};
}

QSize FfmpegCaptureComponent::currentSize() const
{
    if (colorFormat_ < 0 || resolution_ < 0 || resolution_ >= device_.formats[colorFormat_].sizes.size())
        return {};
    return device_.formats[colorFormat_].sizes[resolution_];
}

// --- Compressors ---

QString FfmpegCaptureComponent::videoCompressorName(int index) const
{
    return index >= 0 && index < codecs_.size() ? videoCodecName(codecs_[index]) : QString();
}

CaptureResult FfmpegCaptureComponent::setVideoCompressor(int index)
{
    if (index < -1 || index >= codecs_.size())
        return badIndex();
    if (capturing_)
        return busy();
    compressor_ = index;
    return {};
}

CaptureResult FfmpegCaptureComponent::setAudioCompressor(int index)
{
    // Sound is recorded as PCM: there is nothing to choose but "none".
    return index == -1 ? CaptureResult{} : CaptureResult(badIndex());
}

void FfmpegCaptureComponent::setQuality(int q) { quality_ = std::clamp(q, 1, 100); }

// --- Audio format ---

const QList<int>& FfmpegCaptureComponent::supportedSampleRates()
{
    static const QList<int> rates = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    return rates;
}

CaptureResult FfmpegCaptureComponent::setAudioSampleRate(int hz)
{
    if (!supportedSampleRates().contains(hz))
        return unsupported(QStringLiteral("Unsupported sample rate"));
    if (capturing_)
        return busy();
    sampleRate_ = hz;
    return {};
}

CaptureResult FfmpegCaptureComponent::setAudioChannels(int channels)
{
    if (channels != 1 && channels != 2)
        return unsupported(QStringLiteral("Unsupported number of channels"));
    if (capturing_)
        return busy();
    channels_ = channels;
    return {};
}

CaptureResult FfmpegCaptureComponent::setAudioBits(int bits)
{
    if (bits != 8 && bits != 16)
        return unsupported(QStringLiteral("Unsupported sample size"));
    if (capturing_)
        return busy();
    bits_ = bits;
    return {};
}

CaptureResult FfmpegCaptureComponent::setAudioListen(bool on)
{
    listen_ = on;
    return {};
}

CaptureResult FfmpegCaptureComponent::setEffect(const QString&, int, int index)
{
    return index == -1 ? CaptureResult{} : CaptureResult(badIndex());
}

// --- Dialogs ---

bool FfmpegCaptureComponent::dialogAvailable(int id) const
{
    if (!options_.dialogs)
        return false;
    switch (id & ~int(EffectDialogFlag)) {
    case VideoSourceDialog: return connected_;   // the frame rate at least is always a choice
    case VideoCompressionDialog:
        return compressor_ >= 0 && compressor_ < codecs_.size() && videoCodecHasQuality(codecs_[compressor_]);
    case AudioFormatDialog: return selectedAudio_ >= 0;
    default: return false;
    }
}

CaptureResult FfmpegCaptureComponent::showDialog(int id, const QString&)
{
    if (!dialogAvailable(id))
        return unsupported(QStringLiteral("This dialog is not available"));
    if (capturing_)
        return busy();
    switch (id & ~int(EffectDialogFlag)) {
    case VideoSourceDialog: {
        VideoSourceChoice c;
        c.device = device_.name;
        for (int i = 0; i < videoInputCount(); ++i)
            c.inputs << videoInputName(i);
        c.input = videoInput();
        for (int i = 0; i < colorFormatCount(); ++i)
            c.colorFormats << colorFormatName(i);
        c.colorFormat = colorFormat_;
        // The sizes of the format chosen in the dialog are those of the format shown first;
        // a change of format is applied before the size.
        for (int i = 0; i < resolutionCount(); ++i)
            c.resolutions << resolutionName(i);
        c.resolution = resolution_;
        c.framesPerSecond = fps_;
        if (!options_.dialogs->chooseVideoSource(c))
            return {};
        if (c.input >= 0 && c.input != videoInput())
            if (auto e = setVideoInput(c.input))
                return e;
        if (c.colorFormat >= 0 && c.colorFormat != colorFormat_)
            if (auto e = setColorFormat(c.colorFormat))
                return e;
        if (c.resolution >= 0 && c.resolution < resolutionCount() && c.resolution != resolution_)
            if (auto e = setResolution(c.resolution))
                return e;
        return setFrameRate(c.framesPerSecond);
    }
    case VideoCompressionDialog: {
        CompressionChoice c{videoCompressorName(compressor_), quality_};
        if (options_.dialogs->chooseCompression(c))
            setQuality(c.quality);
        return {};
    }
    case AudioFormatDialog: {
        AudioFormatChoice c{supportedSampleRates(), sampleRate_, channels_, bits_};
        if (!options_.dialogs->chooseAudioFormat(c))
            return {};
        if (auto e = setAudioSampleRate(c.sampleRate))
            return e;
        if (auto e = setAudioChannels(c.channels))
            return e;
        return setAudioBits(c.bits);
    }
    }
    return {};
}

// --- Streaming and preview ---

CaptureResult FfmpegCaptureComponent::setPreview(bool on)
{
    preview_ = on;
    s_->previewOn = on;
    if (!connected_)
        return {};
    if (on)
        return ensureStreaming();
    updateStreaming();
    return {};
}

void FfmpegCaptureComponent::updateStreaming()
{
    if (connected_ && (preview_ || capturing_))
        (void)ensureStreaming();
    else
        stopStreaming();
}

CaptureResult FfmpegCaptureComponent::ensureStreaming()
{
    if (!connected_)
        return notConnected();
    VideoOpenRequest r;
    r.size = currentSize();
    r.formatIndex = colorFormat_;
    r.input = input_;
    r.channel = channel_;
    r.framesPerSecond = std::max(1, fps_);
    const bool same = s_->source && r.size == streaming_.size && r.formatIndex == streaming_.formatIndex
                      && r.input == streaming_.input && r.framesPerSecond == streaming_.framesPerSecond;
    if (same)
        return {};
    stopStreaming();
    QString error;
    auto source = deviceBackend_->open(device_, r, error);
    if (!source)
        return CaptureError{CaptureError::NoDevice, error};
    streaming_ = r;
    s_->source = std::move(source);
    s_->stopStreaming = false;
    s_->captureThread = std::thread([this] { captureLoop(); });
    return {};
}

void FfmpegCaptureComponent::stopStreaming()
{
    if (!s_->source)
        return;
    s_->stopStreaming = true;
    s_->source->interrupt();
    if (s_->captureThread.joinable())
        s_->captureThread.join();
    s_->source.reset();
    std::lock_guard lock(s_->m);
    s_->newest = QImage();
}

void FfmpegCaptureComponent::captureLoop()
{
    Shared& s = *s_;
    while (!s.stopStreaming) {
        std::optional<FrameSource::Frame> f = s.source->next();
        if (!f) {
            if (!s.stopStreaming) {
                const QString why = s.source->error();
                QMetaObject::invokeMethod(this, [this, why] { sourceFailed(why); }, Qt::QueuedConnection);
            }
            return;
        }
        std::unique_lock lock(s.m);
        s.newest = f->image;
        if (s.previewOn && !s.previewPending.exchange(true))
            QMetaObject::invokeMethod(this, [this] { deliverPreview(); }, Qt::QueuedConnection);
        if (!s.armed || s.ended)
            continue;
        const double half = 0.5 / s.fps;
        if (!s.started) {
            if (s.planned && secondsBetween(*s.planned, f->time) < -half)
                continue;   // a frame from before the recording's first slot
            s.start = s.planned ? *s.planned : f->time;
            s.started = true;
        }
        const long slot = std::lround(secondsBetween(s.start, f->time) * s.fps);
        if (slot <= s.lastSlot)
            continue;   // the device ran ahead of the frame rate: that slot has its picture
        if (s.limitSlots > 0 && slot >= s.limitSlots) {
            // Slots up to the limit that never came are dropped frames of this recording.
            s.dropped += s.limitSlots - 1 - s.lastSlot;
            s.lastSlot = s.limitSlots - 1;
            s.ended = true;
            s.end = s.start + std::chrono::microseconds(1'000'000LL * s.limitSlots / s.fps);
            s.cv.notify_all();
            const long gen = s.generation;
            QMetaObject::invokeMethod(
                this, [this, gen] {
                    if (capturing_ && s_->generation == gen)
                        finishRecording({});
                },
                Qt::QueuedConnection);
            continue;
        }
        s.dropped += slot - s.lastSlot - 1;   // slots the device never delivered
        if (s.queue.size() >= kQueueFrames)
            ++s.dropped;                        // the encoder is behind: an empty chunk
        else
            s.queue.emplace_back(slot, f->image);
        s.lastSlot = slot;
        s.cv.notify_all();
    }
}

void FfmpegCaptureComponent::encoderLoop()
{
    Shared& s = *s_;
    long written = 0;
    for (;;) {
        std::unique_lock lock(s.m);
        s.cv.wait(lock, [&] { return !s.queue.empty() || s.ended; });
        if (s.queue.empty())
            return;
        auto [slot, image] = std::move(s.queue.front());
        s.queue.pop_front();
        lock.unlock();

        QString error;
        QString failure;
        if (!s.recorder->writeVideo(image, slot, error))
            failure = error;
        else if (++written % 8 == 0 && s.freeBytes && s.freeBytes() < kDiskReserve)
            failure = QStringLiteral("The disk is full: the recording was stopped at frame %1").arg(slot + 1);
        if (!failure.isEmpty()) {
            lock.lock();
            s.failure = failure;
            if (!s.ended) {
                s.ended = true;
                s.end = CaptureClock::now();
            }
            const long gen = s.generation;
            lock.unlock();
            QMetaObject::invokeMethod(
                this, [this, gen, failure] {
                    if (capturing_ && s_->generation == gen)
                        finishRecording(failure);
                },
                Qt::QueuedConnection);
            return;
        }
    }
}

void FfmpegCaptureComponent::audioLoop(int blockBytes)
{
    Shared& s = *s_;
    AviRecorder* recorder = nullptr;
    {
        std::lock_guard lock(s.m);
        recorder = s.recorder.get();   // lives until finishRecording has joined this thread
    }
    for (;;) {
        const QByteArray pcm = s.audio->read();
        if (pcm.isEmpty()) {
            const QString why = s.audio->error();
            if (!why.isEmpty())
                QMetaObject::invokeMethod(this, [this, why] { emit warning(why); }, Qt::QueuedConnection);
            return;
        }
        {
            std::lock_guard lock(s.m);
            if (s.ended)
                return;
            if (!s.started)
                continue;   // sound from before the first picture would put the two out of step
        }
        QString error;
        if (!recorder->writeAudio(pcm, error)) {
            QMetaObject::invokeMethod(this, [this, error] { emit warning(error); }, Qt::QueuedConnection);
            return;
        }
        s.audioSamples += long(pcm.size() / blockBytes);
    }
}

void FfmpegCaptureComponent::deliverPreview()
{
    QElapsedTimer& since = previewClock_;
    if (since.isValid() && since.elapsed() < kPreviewIntervalMs) {
        QTimer::singleShot(int(kPreviewIntervalMs - since.elapsed()), this, [this] { deliverPreview(); });
        return;
    }
    QImage frame;
    {
        std::lock_guard lock(s_->m);
        frame = s_->newest;
        s_->previewPending = false;
    }
    since.start();
    if (preview_ && !frame.isNull())
        emit previewFrame(frame);
}

void FfmpegCaptureComponent::sourceFailed(const QString& why)
{
    const QString text = why.isEmpty() ? QStringLiteral("The capture device stopped delivering pictures") : why;
    if (capturing_)
        finishRecording(text + QStringLiteral("; the recording was stopped"));
    else
        QMetaObject::invokeMethod(this, [this, text] { emit warning(text); }, Qt::QueuedConnection);
    stopStreaming();
}

// --- Stream capture ---

CaptureResult FfmpegCaptureComponent::setCaptureFileName(const QString& path)
{
    if (capturing_)
        return busy();
    file_ = path;
    return {};
}

CaptureResult FfmpegCaptureComponent::setFrameRate(int fps)
{
    if (capturing_ && fps != fps_)
        return busy();
    fps_ = fps;
    return {};
}

CaptureResult FfmpegCaptureComponent::setTimeLimit(int seconds)
{
    if (capturing_ && seconds != limit_)
        return busy();
    limit_ = seconds;
    return {};
}

CaptureResult FfmpegCaptureComponent::startCapture()
{
    if (capturing_)
        return busy();
    if (!connected_)
        return notConnected();
    if (fps_ < 1)
        return unsupported(QStringLiteral("The frame rate must be at least 1 frame per second"));
    if (limit_ < 0)
        return unsupported(QStringLiteral("The time limit cannot be negative"));
    if (file_.trimmed().isEmpty())
        return CaptureError{CaptureError::FileError, QStringLiteral("No capture file name is set")};
    if (auto e = ensureStreaming())
        return e;

    std::unique_ptr<AudioSource> audio;
    if (selectedAudio_ >= 0) {
        QString why;
        audio = openAudioSource(audio_[selectedAudio_], sampleRate_, channels_, bits_, why);
        if (!audio)
            return CaptureError{CaptureError::NoDevice, why};
    }

    RecorderSettings rs;
    rs.path = file_;
    rs.audio = bool(audio);
    rs.sampleRate = sampleRate_;
    rs.channels = channels_;
    rs.bits = bits_;
    rs.size = currentSize();
    rs.framesPerSecond = fps_;
    rs.codec = compressor_ >= 0 ? codecs_[compressor_] : VideoCodec::Uncompressed;
    rs.quality = quality_;
    QString error;
    auto recorder = AviRecorder::create(rs, error);
    if (!recorder)
        return CaptureError{CaptureError::FileError, error};

    if (deviceBackend_ == rehearsal_.get()) {
        const QJsonObject truth = groundTruth(RehearsalLayout::forSize(rs.size), rehearsal_->script(), fps_);
        QString why;
        if (!writeGroundTruth(groundTruthPathFor(file_), truth, why))
            QMetaObject::invokeMethod(this, [this, why] { emit warning(why); }, Qt::QueuedConnection);
    }

    const QString path = file_;
    std::function<qint64()> freeBytes;
    if (options_.freeBytes)
        freeBytes = [f = options_.freeBytes, path] { return f(path); };
    else
        freeBytes = [dir = QFileInfo(path).absolutePath()] { return QStorageInfo(dir).bytesAvailable(); };
    {
        std::lock_guard lock(s_->m);
        s_->planned = s_->source->nextFrameTime();
        if (s_->planned)
            s_->source->recordingStarts(*s_->planned, fps_);
        ++s_->generation;
        s_->armed = true;
        s_->started = false;
        s_->ended = false;
        s_->fps = fps_;
        s_->limitSlots = long(limit_) * fps_;
        s_->lastSlot = -1;
        s_->dropped = 0;
        s_->queue.clear();
        s_->failure.clear();
        s_->recorder = std::move(recorder);
        s_->freeBytes = std::move(freeBytes);
        s_->audio = std::move(audio);
        s_->audioSamples = 0;
    }
    s_->encoderThread = std::thread([this] { encoderLoop(); });
    if (s_->audio)
        s_->audioThread = std::thread([this, block = channels_ * bits_ / 8] { audioLoop(block); });
    capturing_ = true;
    const QString text = QStringLiteral("Capturing to %1").arg(QDir::toNativeSeparators(file_));
    QMetaObject::invokeMethod(this, [this, text] { emit statusText(text); }, Qt::QueuedConnection);
    return {};
}

CaptureResult FfmpegCaptureComponent::stopCapture()
{
    if (capturing_)
        finishRecording({});
    return {};
}

void FfmpegCaptureComponent::finishRecording(const QString& warningText)
{
    if (!capturing_)
        return;
    Shared& s = *s_;
    {
        std::lock_guard lock(s.m);
        if (!s.ended) {
            s.ended = true;
            s.end = CaptureClock::now();
        }
        s.cv.notify_all();
    }
    if (s.encoderThread.joinable())
        s.encoderThread.join();
    if (s.audio) {
        s.audio->interrupt();
        if (s.audioThread.joinable())
            s.audioThread.join();
        s.audio.reset();
    }

    QString warn = warningText;
    std::unique_ptr<AviRecorder> recorder;
    long lastSlot, dropped;
    double seconds;
    {
        std::lock_guard lock(s.m);
        // Frames still queued after an early stop are empty chunks of the file too.
        s.dropped += long(s.queue.size());
        s.queue.clear();
        recorder = std::move(s.recorder);
        lastSlot = s.lastSlot;
        dropped = s.dropped;
        seconds = s.started ? std::max(0.0, secondsBetween(s.start, s.end)) : 0.0;
        s.armed = false;
    }
    QString error;
    if (!recorder->padVideoTo(lastSlot, error) && warn.isEmpty())
        warn = error;
    if (!recorder->finish(error) && warn.isEmpty())
        warn = error;
    recorder.reset();

    last_ = CaptureStatistics{lastSlot + 1, dropped, s.audioSamples.load(), long(std::lround(seconds * 1000))};
    capturing_ = false;
    updateStreaming();

    const CaptureStatistics st = last_;
    QMetaObject::invokeMethod(
        this, [this, st, warn] {
            if (!warn.isEmpty())
                emit warning(warn);
            const QString stats = QStringLiteral("Captured %1 frames (%2 dropped) in %3 ms")
                                      .arg(st.framesCaptured)
                                      .arg(st.framesDropped)
                                      .arg(st.elapsedMs);
            emit statusText(stats);
            emit statusCode(CaptureStatusStatistics, stats);
            emit statusCode(CaptureStatusReady, QStringLiteral("Ready"));
        },
        Qt::QueuedConnection);
}

CaptureStatistics FfmpegCaptureComponent::statistics() const
{
    if (!capturing_)
        return last_;
    std::lock_guard lock(s_->m);
    CaptureStatistics st;
    st.framesCaptured = s_->lastSlot + 1;
    st.framesDropped = s_->dropped;
    st.audioSamples = s_->audioSamples;
    if (s_->started)
        st.elapsedMs = long(std::lround(1000 * std::max(0.0, secondsBetween(s_->start, s_->ended ? s_->end : CaptureClock::now()))));
    return st;
}

// --- Frame capture ---

CaptureResult FfmpegCaptureComponent::setFrameFileName(const QString& path)
{
    frameFile_ = path;
    return {};
}

CaptureResult FfmpegCaptureComponent::setFrameOptions(const FrameCaptureOptions& options)
{
    frameOptions_ = options;
    return {};
}

CaptureResult FfmpegCaptureComponent::captureFrame()
{
    if (!connected_)
        return notConnected();
    if (frameFile_.trimmed().isEmpty())
        return CaptureError{CaptureError::FileError, QStringLiteral("No frame file name is set")};
    const bool wasStreaming = bool(s_->source);
    if (auto e = ensureStreaming())
        return e;
    QImage frame;
    for (int waited = 0; waited < 3000 && frame.isNull(); waited += 10) {
        {
            std::lock_guard lock(s_->m);
            frame = s_->newest;
        }
        if (frame.isNull())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!wasStreaming)
        updateStreaming();
    if (frame.isNull())
        return CaptureError{CaptureError::NoDevice, QStringLiteral("The capture device delivers no pictures")};
    const int q = frameOptions_.luminanceFactor > 0 ? std::clamp(frameOptions_.luminanceFactor, 1, 100) : 90;
    if (!frame.save(frameFile_, nullptr, q))
        return CaptureError{CaptureError::FileError,
                            QStringLiteral("Cannot write %1").arg(QDir::toNativeSeparators(frameFile_))};
    return {};
}

// --- Plugging and unplugging ---

void FfmpegCaptureComponent::pollDevices()
{
    const QList<Device> now = listVideoDevices();
    const auto sameDevice = [](const Device& a, const Device& b) { return a.backend == b.backend && a.info == b.info; };
    for (int i = int(video_.size()) - 1; i >= 0; --i) {
        if (std::any_of(now.begin(), now.end(), [&](const Device& d) { return sameDevice(d, video_[i]); }))
            continue;
        const QString name = video_[i].info.name;
        if (connected_ && video_[i].backend == deviceBackend_ && video_[i].info == device_) {
            if (capturing_)
                finishRecording(QStringLiteral("%1 was unplugged; the recording was stopped").arg(name));
            stopStreaming();
            connected_ = false;
        }
        video_.removeAt(i);
        if (selectedVideo_ > i || (selectedVideo_ == i && selectedVideo_ >= video_.size()))
            --selectedVideo_;
        if (selectedVideo_ < 0 && !video_.isEmpty())
            selectedVideo_ = 0;
        emit deviceChange(VideoCaptureSources, DeviceRemoved, i, name);
    }
    for (const Device& d : now) {
        if (std::any_of(video_.begin(), video_.end(), [&](const Device& o) { return sameDevice(d, o); }))
            continue;
        video_ << d;
        emit deviceChange(VideoCaptureSources, DeviceAdded, int(video_.size()) - 1, d.info.name);
    }

    const QList<AudioDeviceInfo> audioNow = audioBackend_->devices();
    for (int i = int(audio_.size()) - 1; i >= 0; --i) {
        if (audioNow.contains(audio_[i]))
            continue;
        const QString name = audio_[i].name;
        audio_.removeAt(i);
        if (selectedAudio_ == i)
            selectedAudio_ = -1;
        else if (selectedAudio_ > i)
            --selectedAudio_;
        emit deviceChange(AudioCaptureSources, DeviceRemoved, i, name);
    }
    for (const AudioDeviceInfo& a : audioNow) {
        if (audio_.contains(a))
            continue;
        audio_ << a;
        emit deviceChange(AudioCaptureSources, DeviceAdded, int(audio_.size()) - 1, a.name);
    }
}

} // namespace tarvex

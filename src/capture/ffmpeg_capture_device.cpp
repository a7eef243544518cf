#include "capture/ffmpeg_capture_device.h"
#include "capture/audio_source.h"
#include "capture/camera_set.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

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

// What the capture and encoder threads share with the device. Everything below the mutex
// is guarded by it.
struct FfmpegCaptureDevice::Shared {
    std::unique_ptr<FrameSource> source;
    std::thread captureThread;
    std::thread encoderThread;
    std::atomic<bool> stopStreaming{false};
    std::atomic<bool> previewOn{false};
    std::atomic<bool> previewPending{false};

    std::mutex m;
    std::condition_variable cv;
    QImage newest;
    bool stillWanted = false;  // the next picture goes to deliverStill
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
    // Microseconds from the start to the picture of each slot, for the times file.
    QString timesPath;
    QList<qint64> times;
};

namespace {

// An empty chunk repeats the picture before it, so its slot gets that picture's time.
template <class S>
void noteFrameTime(S& s, long slot, std::optional<CaptureClock::time_point> taken)
{
    const qint64 before = s.times.isEmpty() ? 0 : s.times.last();
    while (s.times.size() < slot)
        s.times << before;
    s.times << (taken ? std::chrono::duration_cast<std::chrono::microseconds>(*taken - s.start).count() : before);
}

} // namespace

FfmpegCaptureDevice::FfmpegCaptureDevice(FfmpegCaptureOptions options, QObject* parent)
    : CaptureDevice(parent), options_(std::move(options)), s_(std::make_shared<Shared>())
{
    platform_ = options_.videoBackend ? options_.videoBackend : std::shared_ptr<VideoBackend>(makePlatformVideoBackend());
    if (options_.rehearsal)
        rehearsal_ = std::make_shared<RehearsalBackend>(options_.rehearsalScript);
    network_ = options_.networkBackend ? options_.networkBackend : std::make_shared<NetworkCameraBackend>();
    audioBackend_ = options_.audioBackend ? options_.audioBackend
                                          : std::shared_ptr<AudioBackend>(makeLibavdeviceAudioBackend());
    video_ = listVideoDevices();
    audio_ = audioBackend_->devices();
    codecs_ = availableVideoCodecs();
    if (options_.devicePollMs > 0) {
        poll_.setInterval(options_.devicePollMs);
        connect(&poll_, &QTimer::timeout, this, &FfmpegCaptureDevice::pollDevices);
        poll_.start();
    }
}

FfmpegCaptureDevice::~FfmpegCaptureDevice()
{
    if (capturing_)
        finishRecording({});
    stopStreaming();
}

QList<FfmpegCaptureDevice::Device> FfmpegCaptureDevice::listVideoDevices() const
{
    QList<Device> out;
    for (const VideoDeviceInfo& d : platform_->devices())
        out << Device{platform_.get(), d};
    if (rehearsal_)
        for (const VideoDeviceInfo& d : rehearsal_->devices())
            out << Device{rehearsal_.get(), d};
    for (const VideoDeviceInfo& d : network_->devices())
        out << Device{network_.get(), d};
    return out;
}

// --- Devices ---

QStringList FfmpegCaptureDevice::videoDevices() const
{
    QStringList names;
    for (const Device& d : video_)
        names << d.info.name;
    return names;
}

QStringList FfmpegCaptureDevice::audioDevices() const
{
    QStringList names;
    for (const AudioDeviceInfo& a : audio_)
        names << a.name;
    return names;
}

CaptureResult FfmpegCaptureDevice::open(int index)
{
    if (index < 0 || index >= video_.size())
        return badIndex();
    close();
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

void FfmpegCaptureDevice::close()
{
    if (capturing_)
        finishRecording({});
    stopStreaming();
    connected_ = false;
}

// --- Format of the connected device ---

CaptureSourceLists FfmpegCaptureDevice::lists() const
{
    CaptureSourceLists l;
    if (!connected_)
        return l;
    for (const VideoFormatInfo& f : device_.formats)
        l.colorFormats << f.name;
    if (colorFormat_ >= 0)
        for (QSize s : device_.formats[colorFormat_].sizes)
            l.resolutions << sizeName(s);
    l.inputs = device_.inputs;
    if (device_.tuner) {
        l.tuner = true;
        l.lowestChannel = device_.lowestChannel;
        l.highestChannel = device_.highestChannel;
    }
    return l;
}

CaptureFormat FfmpegCaptureDevice::format() const
{
    if (!connected_)
        return {};
    return {colorFormat_, resolution_, input_, channel_};
}

CaptureResult FfmpegCaptureDevice::setFormat(const CaptureFormat& f)
{
    if (!connected_)
        return notConnected();
    if (f.colorFormat < 0 || f.colorFormat >= device_.formats.size()
        || (f.colorFormat == colorFormat_ && (f.resolution < 0 || f.resolution >= device_.formats[colorFormat_].sizes.size()))
        || (!device_.inputs.isEmpty() && (f.input < 0 || f.input >= device_.inputs.size())))
        return badIndex();
    if (f.colorFormat != colorFormat_) {
        const QSize keep = currentSize();
        colorFormat_ = f.colorFormat;
        const QList<QSize>& sizes = device_.formats[colorFormat_].sizes;
        resolution_ = sizes.contains(keep) ? int(sizes.indexOf(keep)) : defaultResolution(sizes);
    } else {
        resolution_ = f.resolution;
    }
    input_ = f.input;
    channel_ = f.channel;
    updateStreaming();
    return {};
}

QSize FfmpegCaptureDevice::currentSize() const
{
    if (colorFormat_ < 0 || resolution_ < 0 || resolution_ >= device_.formats[colorFormat_].sizes.size())
        return {};
    return device_.formats[colorFormat_].sizes[resolution_];
}

// --- Compressors and sound ---

QStringList FfmpegCaptureDevice::videoCompressors() const
{
    QStringList names;
    for (VideoCodec c : codecs_)
        names << videoCodecName(c);
    return names;
}

bool FfmpegCaptureDevice::compressorTakesQuality(int index) const
{
    return index >= 0 && index < codecs_.size() && videoCodecHasQuality(codecs_[index]);
}

QList<int> FfmpegCaptureDevice::sampleRates() const
{
    return {8000, 11025, 16000, 22050, 32000, 44100, 48000};
}

// --- Streaming and preview ---

CaptureResult FfmpegCaptureDevice::setPreview(bool on)
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

void FfmpegCaptureDevice::updateStreaming()
{
    if (connected_ && (preview_ || capturing_ || !stills_.isEmpty()))
        (void)ensureStreaming();
    else
        stopStreaming();
}

CaptureResult FfmpegCaptureDevice::ensureStreaming()
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
    // News from the capture thread (a network camera gone silent, back again) for the
    // status line; dropped with the device if it is gone before it arrives.
    source->setNoticeHandler([this](const QString& text) {
        QMetaObject::invokeMethod(this, [this, text] { emit statusText(text); }, Qt::QueuedConnection);
    });
    s_->source = std::move(source);
    s_->stopStreaming = false;
    s_->captureThread = std::thread([this] { captureLoop(); });
    return {};
}

void FfmpegCaptureDevice::stopStreaming()
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

void FfmpegCaptureDevice::captureLoop()
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
        if (s.stillWanted) {
            s.stillWanted = false;
            QMetaObject::invokeMethod(this, [this, image = f->image] { deliverStill(image); }, Qt::QueuedConnection);
        }
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
        const bool queued = s.queue.size() < kQueueFrames;
        if (!queued)
            ++s.dropped;                        // the encoder is behind: an empty chunk
        else
            s.queue.emplace_back(slot, f->image);
        if (!s.timesPath.isEmpty())
            noteFrameTime(s, slot, queued ? std::optional(f->time) : std::nullopt);
        s.lastSlot = slot;
        s.cv.notify_all();
    }
}

void FfmpegCaptureDevice::encoderLoop()
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

void FfmpegCaptureDevice::audioLoop(int blockBytes)
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

void FfmpegCaptureDevice::deliverPreview()
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

void FfmpegCaptureDevice::sourceFailed(const QString& why)
{
    const QString text = why.isEmpty() ? QStringLiteral("The capture device stopped delivering pictures") : why;
    if (capturing_)
        finishRecording(text + QStringLiteral("; the recording was stopped"));
    else
        QMetaObject::invokeMethod(this, [this, text] { emit warning(text); }, Qt::QueuedConnection);
    stopStreaming();
}

// --- Stream capture ---

// The component has checked the settings; what is checked here would otherwise crash.
CaptureResult FfmpegCaptureDevice::startRecording(const RecordingSettings& settings)
{
    if (!connected_)
        return notConnected();
    if (capturing_)
        return CaptureError{CaptureError::Busy, QStringLiteral("Not possible while a recording runs")};
    if (settings.framesPerSecond < 1 || settings.timeLimit < 0 || settings.videoCompressor >= codecs_.size()
        || settings.audioDevice >= audio_.size())
        return unsupported(QStringLiteral("The recording settings are out of range"));
    fps_ = settings.framesPerSecond;
    if (auto e = ensureStreaming())
        return e;

    std::unique_ptr<AudioSource> audio;
    if (settings.audioDevice >= 0) {
        QString why;
        audio = openAudioSource(audio_[settings.audioDevice], settings.sampleRate, settings.channels, settings.bits, why);
        if (!audio)
            return CaptureError{CaptureError::NoDevice, why};
    }

    RecorderSettings rs;
    rs.path = settings.path;
    rs.audio = bool(audio);
    rs.sampleRate = settings.sampleRate;
    rs.channels = settings.channels;
    rs.bits = settings.bits;
    rs.size = currentSize();
    if (!rs.size.isValid() && deviceBackend_ == network_.get())
        rs.size = network_->lastSize(device_.id);
    rs.framesPerSecond = fps_;
    rs.codec = settings.videoCompressor >= 0 ? codecs_[settings.videoCompressor] : VideoCodec::Uncompressed;
    rs.quality = settings.quality;
    QString error;
    auto recorder = AviRecorder::create(rs, error);
    if (!recorder)
        return CaptureError{CaptureError::FileError, error};

    if (deviceBackend_ == rehearsal_.get()) {
        const QJsonObject truth = groundTruth(RehearsalLayout::forSize(rs.size, RehearsalBackend::cameraOf(device_)),
                                              rehearsal_->script(), fps_);
        QString why;
        if (!writeGroundTruth(groundTruthPathFor(settings.path), truth, why))
            QMetaObject::invokeMethod(this, [this, why] { emit warning(why); }, Qt::QueuedConnection);
    }

    const QString path = settings.path;
    std::function<qint64()> freeBytes;
    if (options_.freeBytes)
        freeBytes = [f = options_.freeBytes, path] { return f(path); };
    else
        freeBytes = [dir = QFileInfo(path).absolutePath()] { return QStorageInfo(dir).bytesAvailable(); };
    {
        std::lock_guard lock(s_->m);
        s_->planned = settings.start ? settings.start : s_->source->nextFrameTime();
        if (s_->planned)
            s_->source->recordingStarts(*s_->planned, fps_);
        ++s_->generation;
        s_->armed = true;
        s_->started = false;
        s_->ended = false;
        s_->fps = fps_;
        s_->limitSlots = long(settings.timeLimit) * fps_;
        s_->lastSlot = -1;
        s_->dropped = 0;
        s_->queue.clear();
        s_->failure.clear();
        s_->recorder = std::move(recorder);
        s_->freeBytes = std::move(freeBytes);
        s_->audio = std::move(audio);
        s_->audioSamples = 0;
        s_->timesPath = settings.timesPath;
        s_->times.clear();
    }
    s_->encoderThread = std::thread([this] { encoderLoop(); });
    if (s_->audio)
        s_->audioThread = std::thread([this, block = settings.channels * settings.bits / 8] { audioLoop(block); });
    capturing_ = true;
    const QString text = QStringLiteral("Capturing to %1").arg(QDir::toNativeSeparators(settings.path));
    QMetaObject::invokeMethod(this, [this, text] { emit statusText(text); }, Qt::QueuedConnection);
    return {};
}

void FfmpegCaptureDevice::stopRecording()
{
    if (capturing_)
        finishRecording({});
}

void FfmpegCaptureDevice::finishRecording(const QString& warningText)
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
        if (!s.timesPath.isEmpty()) {
            const qint64 last = s.times.isEmpty() ? 0 : s.times.last();
            while (s.times.size() <= lastSlot)
                s.times << last;
            s.times.resize(std::max(0L, lastSlot + 1));
            FrameTimes t{std::exchange(s.times, {})};
            QString why;
            if (!t.write(s.timesPath, why) && warn.isEmpty())
                warn = why;
        }
    }
    QString error;
    if (!recorder->padVideoTo(lastSlot, error) && warn.isEmpty())
        warn = error;
    // A failure that left no frame at all is told as that: the file is gone.
    if (!recorder->finish(error) && (warn.isEmpty() || !recorder->fileKept()))
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

CaptureStatistics FfmpegCaptureDevice::statistics() const
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

std::optional<CaptureClock::time_point> FfmpegCaptureDevice::nextFrameTime()
{
    if (!connected_ || capturing_ || ensureStreaming())
        return std::nullopt;
    return s_->source->nextFrameTime();
}

FfmpegCaptureOptions FfmpegCaptureDevice::companionOptions() const
{
    FfmpegCaptureOptions o = options_;
    o.videoBackend = platform_;
    o.audioBackend = audioBackend_;
    o.devicePollMs = 0;
    return o;
}

// --- A single picture ---

// A live picture that already runs answers with its newest picture; otherwise the stream is
// opened for the still and closed again when no still waits any more. Waiting for the first
// picture on the user-interface thread would freeze the station for as long as a camera
// takes to start, so the picture comes back as a queued call.
CaptureResult FfmpegCaptureDevice::saveFrame(const QString& path, int quality)
{
    if (!connected_)
        return notConnected();
    if (auto e = ensureStreaming())
        return e;
    const quint64 id = nextStill_++;
    stills_.append(StillRequest{id, path, std::clamp(quality, 1, 100)});
    QTimer::singleShot(std::max(0, options_.stillTimeoutMs), this, [this, id] { stillTimedOut(id); });
    std::lock_guard lock(s_->m);
    if (s_->newest.isNull())
        s_->stillWanted = true;
    else
        QMetaObject::invokeMethod(this, [this, image = s_->newest] { deliverStill(image); }, Qt::QueuedConnection);
    return {};
}

void FfmpegCaptureDevice::deliverStill(const QImage& frame)
{
    const QList<StillRequest> done = std::exchange(stills_, {});
    {
        std::lock_guard lock(s_->m);
        s_->stillWanted = false;
    }
    updateStreaming();
    for (const StillRequest& r : done) {
        CaptureResult outcome;
        if (!frame.save(r.path, nullptr, r.quality))
            outcome = CaptureError{CaptureError::FileError, QStringLiteral("Cannot write %1").arg(QDir::toNativeSeparators(r.path))};
        emit stillSaved(r.path, outcome);
    }
}

void FfmpegCaptureDevice::stillTimedOut(quint64 id)
{
    const auto it = std::find_if(stills_.begin(), stills_.end(), [id](const StillRequest& r) { return r.id == id; });
    if (it == stills_.end())
        return;   // its picture came in time
    const QString path = it->path;
    stills_.erase(it);
    if (stills_.isEmpty()) {
        std::lock_guard lock(s_->m);
        s_->stillWanted = false;
    }
    updateStreaming();
    emit stillSaved(path, CaptureError{CaptureError::NoDevice, QStringLiteral("The capture device delivers no pictures")});
}

// --- Plugging and unplugging ---

void FfmpegCaptureDevice::pollDevices()
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

#include "capture/ffmpeg_capture_device.h"
#include "capture/audio_source.h"
#include "capture/camera_set.h"
#include "media/av_handles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tarvex {

namespace {

// The queue between the capture and the encoder threads holds about a second of 1080p
// pictures (at least kQueueFramesMin of any size): while another program takes the CPU for a
// while, a recording of a few seconds falls behind there and catches up after, instead of
// dropping frames.
constexpr qint64 kQueueBytes = 512LL * 1024 * 1024;
constexpr std::size_t kQueueFramesMin = 8;
// Ten seconds of 1080p at 60 fps in MJPEG fit easily; a camera sending far larger packets
// holds fewer seconds.
constexpr qint64 kRingBytes = 384LL * 1024 * 1024;
// The preview of a camera that sends packets is decoded at most this often.
constexpr int kPreviewDecodeMs = 33;
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

bool storable(const std::optional<CompressedStream>& st)
{
    return st && (st->codecId == AV_CODEC_ID_MJPEG || st->codecId == AV_CODEC_ID_H264 || st->codecId == AV_CODEC_ID_HEVC);
}

// A stored stream whose pictures lean on the ones before them, back to a key frame.
bool longGroups(const std::optional<CompressedStream>& st) { return storable(st) && st->codecId != AV_CODEC_ID_MJPEG; }

// What the capture and encoder threads share with the device. Everything below the mutex
// is guarded by it. Slots count from the start of the current ring or recording; the file
// begins at fileOrigin.
struct FfmpegCaptureDevice::Shared {
    struct Item {
        long slot = 0;
        QImage image;
        QByteArray packet;
        bool keyFrame = true;
        qint64 bytes() const { return packet.isEmpty() ? image.sizeInBytes() : packet.size(); }
    };

    std::unique_ptr<FrameSource> source;
    std::optional<CompressedStream> stream;   // the source's, while it streams
    // A source that connects on the capture thread: started (or failed) yet, and why not.
    bool ready = false;
    bool startFailed = false;
    QString startFailure;
    std::condition_variable readyCv;
    long streamGeneration = 0;
    std::thread captureThread;
    std::vector<std::thread> encoderThreads;
    std::thread previewThread;
    std::atomic<bool> stopStreaming{false};
    std::atomic<bool> previewOn{false};
    std::atomic<bool> previewPending{false};

    std::mutex m;
    std::condition_variable cv;
    QImage newest;
    bool stillWanted = false;  // the next picture goes to deliverStill
    // A camera that sends packets only: what the preview thread has still to decode.
    std::deque<Item> previewPackets;
    std::condition_variable previewCv;
    // The recording.
    long generation = 0;
    bool armed = false;        // startCapture done, frames are wanted
    bool started = false;      // slot 0 has been given
    bool ended = false;        // no more frames are taken
    bool quit = false;         // the encoder thread stores what is queued and ends
    std::optional<CaptureClock::time_point> planned;
    CaptureClock::time_point start;
    CaptureClock::time_point end;
    int fps = 30;
    long limitSlots = 0;       // 0 = no limit; counted from fileOrigin
    long lastSlot = -1;
    long fileOrigin = 0;
    long heldSlots = 0;        // slots the file held when Start was pressed
    std::deque<long> droppedSlots;   // slots that stay empty chunks
    std::deque<Item> queue;
    qint64 queueBytes = 0;
    // One per encoder thread, touched by that thread only while it runs. Pictures are coded
    // on two threads at once and stored in the order they were taken (popSeq, writeSeq).
    std::vector<std::unique_ptr<FrameEncoder>> encoders;
    long popSeq = 0;
    long writeSeq = 0;
    bool encodersFailed = false;
    bool copyPackets = false;  // the camera's packets are stored as they are
    bool keyFirst = false;     // ... and begin at a key frame, none left out after it
    // Pre-recording.
    bool ringOn = false;
    std::deque<VideoPacket> ring;
    qint64 ringBytes = 0;
    long ringSlots = 0;
    std::deque<VideoPacket> pending;   // the ring's packets, to be written first
    bool wroteKey = false;
    std::unique_ptr<AviRecorder> recorder;
    QString failure;           // why the encoder stopped early
    std::function<qint64()> freeBytes;
    // Sound of the recording, read by its own thread straight into the recorder.
    std::unique_ptr<AudioSource> audio;
    std::thread audioThread;
    std::atomic<long> audioSamples{0};
    // File frame -> microseconds from timesZero to when its picture was taken, for the
    // times file of a recording made with other cameras.
    QString timesPath;
    std::optional<CaptureClock::time_point> timesZero;
    std::map<long, qint64> times;

    bool taking() const { return (armed && !ended) || ringOn; }
    long droppedInFile() const
    {
        return long(std::count_if(droppedSlots.begin(), droppedSlots.end(),
                                  [&](long k) { return k >= fileOrigin && k <= lastSlot; }));
    }
    // Keeps the last ringSlots of pictures, from a key frame on, within kRingBytes.
    void trimRing()
    {
        const auto dropFront = [&] {
            ringBytes -= ring.front().data.size();
            ring.pop_front();
        };
        for (;;) {
            auto nextKey = std::find_if(ring.begin() + (ring.empty() ? 0 : 1), ring.end(),
                                        [](const VideoPacket& p) { return p.keyFrame; });
            if (nextKey == ring.end())
                break;
            const bool enough = ring.back().slot - nextKey->slot + 1 >= ringSlots;
            if (!enough && ringBytes <= kRingBytes)
                break;
            while (&ring.front() != &*nextKey)
                dropFront();
        }
        while (!ring.empty() && (!ring.front().keyFrame || ringBytes > kRingBytes))
            dropFront();
        const long first = ring.empty() ? lastSlot + 1 : ring.front().slot;
        while (!droppedSlots.empty() && droppedSlots.front() < first)
            droppedSlots.pop_front();
    }
};

namespace {

qint64 microsBetween(CaptureClock::time_point from, CaptureClock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
}

// The moment slot `slot` stands for.
template <class S>
CaptureClock::time_point slotTime(const S& s, long slot)
{
    return s.start + std::chrono::microseconds(1'000'000LL * slot / s.fps);
}

template <class S>
void noteFrameTime(S& s, long slot, CaptureClock::time_point taken)
{
    if (!s.timesZero)
        s.timesZero = slotTime(s, s.fileOrigin);
    s.times[slot - s.fileOrigin] = microsBetween(*s.timesZero, taken);
}

// One time for every frame of the file: a held frame (taken before the press) has the time
// its slot stands for; an empty chunk repeats the picture before it, so it gets that time.
template <class S>
FrameTimes frameTimesOfFile(const S& s, long lastFrame)
{
    FrameTimes t;
    const CaptureClock::time_point zero = s.timesZero ? *s.timesZero : slotTime(s, s.fileOrigin);
    for (long k = 0; k <= lastFrame; ++k) {
        const auto it = s.times.find(k);
        if (it != s.times.end())
            t.micros << it->second;
        else if (k < s.heldSlots || t.micros.isEmpty())
            t.micros << microsBetween(zero, slotTime(s, s.fileOrigin + k));
        else
            t.micros << t.micros.last();
    }
    return t;
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
    if (preview_ || preSeconds_ > 0) {
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

void FfmpegCaptureDevice::setStandby(bool on)
{
    standby_ = on;
    if (connected_)
        updateStreaming();
}

void FfmpegCaptureDevice::updateStreaming()
{
    if (connected_ && (preview_ || standby_ || capturing_ || preSeconds_ > 0 || !stills_.isEmpty()))
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
    const bool later = source->connectsLater();
    if (!later && !source->start(error))
        return CaptureError{CaptureError::NoDevice, error};
    s_->source = std::move(source);
    {
        std::lock_guard lock(s_->m);
        s_->stream = later ? std::nullopt : s_->source->compressedStream();
        s_->ready = !later;
        s_->startFailed = false;
        s_->startFailure.clear();
        ++s_->streamGeneration;
    }
    s_->stopStreaming = false;
    s_->captureThread = std::thread([this, later, gen = s_->streamGeneration] { captureLoop(later ? gen : 0); });
    if (!later)
        streamReady(s_->streamGeneration);
    return {};
}

// The source runs: its preview decoder and the held pictures can start.
void FfmpegCaptureDevice::streamReady(long generation)
{
    if (!s_->source || generation != s_->streamGeneration)
        return;
    if (s_->stream && !s_->previewThread.joinable())
        s_->previewThread = std::thread([this] { previewDecodeLoop(); });
    if (!capturing_)
        startRing();
}

// A stream stored as it comes keeps every picture, so its file runs at the camera's own rate
// (59.94 stored as 60); 0 where the recording's rate applies.
int FfmpegCaptureDevice::cameraRate() const
{
    std::lock_guard lock(s_->m);
    if (!longGroups(s_->stream) || s_->stream->framesPerSecond < 1)
        return 0;
    return int(std::lround(s_->stream->framesPerSecond));
}

// The recording needs the camera's stream; a network camera may still be connecting.
CaptureResult FfmpegCaptureDevice::awaitStream()
{
    std::unique_lock lock(s_->m);
    const int bound = deviceBackend_ == network_.get() ? network_->timings().connectMs + 2000 : 0;
    s_->readyCv.wait_for(lock, std::chrono::milliseconds(bound), [&] { return s_->ready || s_->startFailed; });
    if (s_->ready)
        return {};
    const QString why = s_->startFailed ? s_->startFailure : QStringLiteral("%1 has not answered yet").arg(device_.name);
    return CaptureError{CaptureError::NoDevice, why};
}

void FfmpegCaptureDevice::stopStreaming()
{
    if (!s_->source)
        return;
    s_->stopStreaming = true;
    s_->source->interrupt();
    if (s_->captureThread.joinable())
        s_->captureThread.join();
    {
        // Taken so the preview thread is either waiting or has yet to look at the flag: a
        // notification between its look and its wait would be lost.
        std::lock_guard lock(s_->m);
    }
    s_->previewCv.notify_all();
    if (s_->previewThread.joinable())
        s_->previewThread.join();
    if (!capturing_)
        stopEncoder();
    s_->source.reset();
    std::lock_guard lock(s_->m);
    s_->newest = QImage();
    s_->previewPackets.clear();
    s_->stream.reset();
    s_->ready = false;
}

void FfmpegCaptureDevice::captureLoop(long startGeneration)
{
    Shared& s = *s_;
    if (startGeneration > 0) {
        QString why;
        const bool started = s.source->start(why);
        {
            std::lock_guard lock(s.m);
            s.ready = started;
            s.startFailed = !started;
            s.startFailure = why;
            if (started)
                s.stream = s.source->compressedStream();
            s.readyCv.notify_all();
        }
        if (!started) {
            // Told only while this is still the stream: another camera may have been chosen.
            if (!s.stopStreaming)
                QMetaObject::invokeMethod(
                    this, [this, why, startGeneration] {
                        if (s_->source && s_->streamGeneration == startGeneration)
                            sourceFailed(why);
                    },
                    Qt::QueuedConnection);
            return;
        }
        QMetaObject::invokeMethod(this, [this, startGeneration] { streamReady(startGeneration); }, Qt::QueuedConnection);
    }
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
        if (!f->image.isNull()) {
            s.newest = f->image;
            if (s.stillWanted) {
                s.stillWanted = false;
                QMetaObject::invokeMethod(this, [this, image = f->image] { deliverStill(image); }, Qt::QueuedConnection);
            }
            if (s.previewOn && !s.previewPending.exchange(true))
                QMetaObject::invokeMethod(this, [this] { deliverPreview(); }, Qt::QueuedConnection);
        } else if (!f->packet.isEmpty()) {
            // A key frame makes what came before it needless to the preview.
            if (f->keyFrame)
                s.previewPackets.clear();
            if (s.previewPackets.size() < 120)
                s.previewPackets.push_back(Shared::Item{0, {}, f->packet, f->keyFrame});
            s.previewCv.notify_all();
        }
        if (!s.taking())
            continue;
        const double half = 0.5 / s.fps;
        if (!s.started) {
            if (s.planned && secondsBetween(*s.planned, f->time) < -half)
                continue;   // a frame from before the recording's first slot
            if (s.keyFirst && !f->keyFrame)
                continue;
            // A stream stored as it comes begins at its key frame, which may come after the
            // planned start: the file starts there rather than with slots it cannot fill.
            const bool late = s.keyFirst && s.planned && secondsBetween(*s.planned, f->time) > half;
            s.start = s.planned && !late ? *s.planned : f->time;
            s.started = true;
        }
        long slot = std::lround(secondsBetween(s.start, f->time) * s.fps);
        if (slot <= s.lastSlot) {
            // The device ran ahead of the frame rate: that slot has its picture. A packet of a
            // long group is needed by the ones after it, so it takes the next slot instead.
            if (!s.keyFirst)
                continue;
            slot = s.lastSlot + 1;
        }
        if (s.armed && s.limitSlots > 0 && slot - s.fileOrigin >= s.limitSlots) {
            // Slots up to the limit that never came are dropped frames of this recording.
            const long last = s.fileOrigin + s.limitSlots - 1;
            for (long k = s.lastSlot + 1; k <= last; ++k)
                s.droppedSlots.push_back(k);
            s.lastSlot = last;
            s.ended = true;
            s.end = s.start + std::chrono::microseconds(1'000'000LL * (s.fileOrigin + s.limitSlots) / s.fps);
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
        for (long k = s.lastSlot + 1; k < slot; ++k)
            s.droppedSlots.push_back(k);   // slots the device never delivered
        Shared::Item item;
        item.slot = slot;
        item.keyFrame = f->keyFrame;
        if (s.copyPackets)
            item.packet = f->packet;
        else
            item.image = f->image;
        const bool usable = s.copyPackets ? !item.packet.isEmpty() : !item.image.isNull();
        if (!usable || (s.queue.size() >= kQueueFramesMin && s.queueBytes + item.bytes() > kQueueBytes)) {
            s.droppedSlots.push_back(slot);   // the encoder is behind: an empty chunk
        } else {
            s.queueBytes += item.bytes();
            s.queue.push_back(std::move(item));
            if (s.armed && !s.timesPath.isEmpty())
                noteFrameTime(s, slot, f->time);
        }
        s.lastSlot = slot;
        s.cv.notify_all();
    }
}

// Only the newest picture is decoded, and no more often than a display would show it; a
// camera with long groups of pictures needs every packet since its last key frame.
void FfmpegCaptureDevice::previewDecodeLoop()
{
    Shared& s = *s_;
    std::optional<CompressedStream> stream;
    {
        std::lock_guard lock(s.m);
        stream = s.stream;
    }
    const AVCodec* codec = stream ? avcodec_find_decoder(AVCodecID(stream->codecId)) : nullptr;
    av::CodecContext dec = codec ? av::makeCodecContext(codec) : av::CodecContext();
    av::Frame frame = av::makeFrame();
    av::Packet packet = av::makePacket();
    if (!dec || !frame || !packet)
        return;
    if (!stream->extradata.isEmpty()) {
        dec->extradata = static_cast<uint8_t*>(av_mallocz(size_t(stream->extradata.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (dec->extradata) {
            memcpy(dec->extradata, stream->extradata.constData(), size_t(stream->extradata.size()));
            dec->extradata_size = int(stream->extradata.size());
        }
    }
    dec->thread_count = 1;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0)
        return;
    av::SwsContextPtr sws;
    QElapsedTimer since;
    for (;;) {
        std::deque<Shared::Item> work;
        {
            std::unique_lock lock(s.m);
            s.previewCv.wait(lock, [&] {
                return s.stopStreaming || (!s.previewPackets.empty() && (s.previewOn || s.stillWanted));
            });
            if (s.stopStreaming)
                return;
            work.swap(s.previewPackets);
        }
        QImage image;
        for (std::size_t i = 0; i < work.size(); ++i) {
            av_packet_unref(packet.get());
            if (av_new_packet(packet.get(), int(work[i].packet.size())) < 0)
                break;
            memcpy(packet->data, work[i].packet.constData(), size_t(work[i].packet.size()));
            if (avcodec_send_packet(dec.get(), packet.get()) < 0)
                continue;
            while (avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
                const bool last = i + 1 == work.size();
                if (last && (!since.isValid() || since.elapsed() >= kPreviewDecodeMs)) {
                    QImage out(frame->width, frame->height, QImage::Format_RGB32);
                    // JPEG's full-range formats are named by their plain twins and the range
                    // set on the converter: named as they are, the converter is rebuilt for
                    // every picture.
                    AVPixelFormat format = AVPixelFormat(frame->format);
                    bool fullRange = true;
                    switch (format) {
                    case AV_PIX_FMT_YUVJ420P: format = AV_PIX_FMT_YUV420P; break;
                    case AV_PIX_FMT_YUVJ422P: format = AV_PIX_FMT_YUV422P; break;
                    case AV_PIX_FMT_YUVJ444P: format = AV_PIX_FMT_YUV444P; break;
                    case AV_PIX_FMT_YUVJ440P: format = AV_PIX_FMT_YUV440P; break;
                    default: fullRange = frame->color_range == AVCOL_RANGE_JPEG; break;
                    }
                    const SwsContext* before = sws.get();
                    if (!out.isNull()
                        && av::reuseSwsContext(sws, frame->width, frame->height, format, frame->width, frame->height,
                                               AV_PIX_FMT_RGB32, SWS_POINT)) {
                        if (sws.get() != before && fullRange) {
                            int* inv = nullptr; int* tab = nullptr; int srcRange = 0, dstRange = 0, b = 0, ct = 0, sat = 0;
                            sws_getColorspaceDetails(sws.get(), &inv, &srcRange, &tab, &dstRange, &b, &ct, &sat);
                            sws_setColorspaceDetails(sws.get(), inv, 1, tab, dstRange, b, ct, sat);
                        }
                        uint8_t* dst[1] = {out.bits()};
                        int stride[1] = {int(out.bytesPerLine())};
                        sws_scale(sws.get(), frame->data, frame->linesize, 0, frame->height, dst, stride);
                        image = out;
                        since.start();
                    }
                }
                av_frame_unref(frame.get());
            }
        }
        if (image.isNull())
            continue;
        std::lock_guard lock(s.m);
        s.newest = image;
        if (s.stillWanted) {
            s.stillWanted = false;
            QMetaObject::invokeMethod(this, [this, image] { deliverStill(image); }, Qt::QueuedConnection);
        }
        if (s.previewOn && !s.previewPending.exchange(true))
            QMetaObject::invokeMethod(this, [this] { deliverPreview(); }, Qt::QueuedConnection);
    }
}

void FfmpegCaptureDevice::encoderLoop(int worker)
{
    Shared& s = *s_;
    long written = 0;
    for (;;) {
        std::unique_lock lock(s.m);
        s.cv.wait(lock, [&] { return !s.queue.empty() || !s.pending.empty() || s.quit || s.encodersFailed; });
        if (s.encodersFailed || (s.queue.empty() && s.pending.empty()))
            return;
        std::optional<Shared::Item> item;
        if (!s.queue.empty()) {
            item = std::move(s.queue.front());
            s.queue.pop_front();
            s.queueBytes -= item->bytes();
        }
        const long seq = s.popSeq++;
        lock.unlock();

        std::optional<VideoPacket> packet;
        QString failure;
        if (item && !item->packet.isEmpty())
            packet = VideoPacket{item->packet, item->slot, item->keyFrame};
        else if (item)
            packet = s.encoders[std::size_t(worker)]->encode(item->image, item->slot, failure);

        lock.lock();
        s.cv.wait(lock, [&] { return s.writeSeq == seq || s.encodersFailed; });
        if (s.encodersFailed)
            return;
        const auto done = [&] {
            ++s.writeSeq;
            s.cv.notify_all();
        };
        if (!s.armed) {
            // Pre-recording: into the ring. A picture the compressor refused stays a gap.
            if (packet) {
                s.ringBytes += packet->data.size();
                s.ring.push_back(std::move(*packet));
                s.trimRing();
            } else if (item) {
                s.droppedSlots.push_back(item->slot);
            }
            done();
            continue;
        }
        std::deque<VideoPacket> batch = std::exchange(s.pending, {});
        const long origin = s.fileOrigin;
        lock.unlock();
        // Still this thread's turn: the others wait for writeSeq.
        if (packet)
            batch.push_back(std::move(*packet));
        else if (item && failure.isEmpty())
            failure = QStringLiteral("The video compressor gave no picture");
        std::vector<long> gaps;
        for (VideoPacket& p : batch) {
            if (!failure.isEmpty())
                break;
            if (p.slot < origin)
                continue;
            if (!s.wroteKey && !p.keyFrame) {
                gaps.push_back(p.slot);   // undecodable without the key frame before it
                continue;
            }
            s.wroteKey = true;
            p.slot -= origin;
            QString error;
            if (!s.recorder->writePacket(p, error))
                failure = error;
            else if (++written % 8 == 0 && s.freeBytes && s.freeBytes() < kDiskReserve)
                failure = QStringLiteral("The disk is full: the recording was stopped at frame %1").arg(p.slot + 1);
        }
        lock.lock();
        if (!gaps.empty()) {
            s.droppedSlots.insert(s.droppedSlots.end(), gaps.begin(), gaps.end());
            std::sort(s.droppedSlots.begin(), s.droppedSlots.end());
        }
        if (!failure.isEmpty()) {
            s.failure = failure;
            s.encodersFailed = true;
            s.cv.notify_all();
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
        done();
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
    long lead = 0;   // silence for the pictures the ring held: sound starts at the press
    {
        std::lock_guard lock(s.m);
        lead = long(std::llround(double(s.heldSlots) * recorder->settings().sampleRate / s.fps));
    }
    if (lead > 0) {
        const QByteArray silence(lead * blockBytes, recorder->settings().bits == 8 ? char(0x80) : char(0));
        QString error;
        if (recorder->writeAudio(silence, error))
            s.audioSamples += lead;
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

RecorderSettings FfmpegCaptureDevice::recorderSettings(const RecordingSettings& settings) const
{
    RecorderSettings rs;
    rs.path = settings.path;
    rs.sampleRate = settings.sampleRate;
    rs.channels = settings.channels;
    rs.bits = settings.bits;
    rs.size = currentSize();
    // A network camera names its size only once it is connected.
    if (!rs.size.isValid() && deviceBackend_ == network_.get())
        rs.size = network_->lastSize(device_.id);
    rs.framesPerSecond = std::max(1, settings.framesPerSecond);
    rs.codec = settings.videoCompressor >= 0 && settings.videoCompressor < codecs_.size()
                   ? codecs_[settings.videoCompressor] : VideoCodec::Uncompressed;
    rs.quality = settings.quality;
    if (storable(s_->stream)) {
        rs.stream = s_->stream;
        rs.size = s_->stream->size.isValid() ? s_->stream->size : rs.size;
    }
    return rs;
}

// A camera's own packets need no compressor: one thread stores them. Pictures get two.
std::vector<std::unique_ptr<FrameEncoder>> FfmpegCaptureDevice::makeEncoders(const RecorderSettings& rs, QString& error) const
{
    std::vector<std::unique_ptr<FrameEncoder>> out;
    if (rs.stream) {
        out.emplace_back();
        return out;
    }
    for (int i = 0; i < 2; ++i) {
        auto e = FrameEncoder::create(rs, error);
        if (!e)
            return {};
        out.push_back(std::move(e));
    }
    return out;
}

void FfmpegCaptureDevice::startEncoderThreads()
{
    for (std::size_t i = 0; i < s_->encoders.size(); ++i)
        s_->encoderThreads.emplace_back([this, i] { encoderLoop(int(i)); });
}

void FfmpegCaptureDevice::planStart(bool playScript, std::optional<CaptureClock::time_point> given)
{
    // The one place a recording's slot 0 is chosen: a start shared with other cameras, or
    // this camera's next frame where it keeps a clock of its own.
    s_->planned = given ? given : s_->source->nextFrameTime();
    if (s_->planned && playScript)
        s_->source->recordingStarts(*s_->planned, fps_);
}

void FfmpegCaptureDevice::stopEncoder()
{
    Shared& s = *s_;
    {
        std::lock_guard lock(s.m);
        s.quit = true;
        s.ringOn = false;
        s.cv.notify_all();
    }
    for (std::thread& t : s.encoderThreads)
        t.join();
    s.encoderThreads.clear();
    std::lock_guard lock(s.m);
    s.quit = false;
    s.encodersFailed = false;
    s.popSeq = s.writeSeq = 0;
    s.ring.clear();
    s.ringBytes = 0;
    s.queue.clear();
    s.queueBytes = 0;
    s.pending.clear();
    s.encoders.clear();
}

void FfmpegCaptureDevice::startRing()
{
    Shared& s = *s_;
    // Without pre-recording a long-group stream still keeps its pictures since the last key
    // frame: a recording can only begin at one, and it begins there rather than after Start.
    const bool keyLead = preSeconds_ <= 0 && longGroups(s.stream);
    if (capturing_ || (preSeconds_ <= 0 && !keyLead) || !s.source || s.ringOn)
        return;
    stopEncoder();
    RecordingSettings like = preLike_;
    if (keyLead)
        like.framesPerSecond = std::max(1, fps_);
    if (const int own = cameraRate(); own > 0)
        like.framesPerSecond = own;
    const RecorderSettings rs = recorderSettings(like);
    QString why;
    std::vector<std::unique_ptr<FrameEncoder>> encoders = makeEncoders(rs, why);
    if (encoders.empty()) {
        QMetaObject::invokeMethod(this, [this, why] { emit warning(QStringLiteral("Pre-recording is not possible: %1").arg(why)); },
                                  Qt::QueuedConnection);
        return;
    }
    {
        std::lock_guard lock(s.m);
        planStart(true);
        s.encoders = std::move(encoders);
        s.copyPackets = bool(rs.stream);
        s.keyFirst = longGroups(rs.stream);
        s.fps = rs.framesPerSecond;
        s.ringSlots = long(std::max(0, preSeconds_)) * rs.framesPerSecond;
        s.started = false;
        s.lastSlot = -1;
        s.fileOrigin = 0;
        s.droppedSlots.clear();
        s.ringOn = true;
    }
    startEncoderThreads();
}

CaptureResult FfmpegCaptureDevice::setPreRecording(int seconds, const RecordingSettings& like)
{
    if (capturing_)
        return CaptureError{CaptureError::Busy, QStringLiteral("Not possible while a recording runs")};
    if (seconds < 0 || seconds > 60 || like.framesPerSecond < 1)
        return unsupported(QStringLiteral("The pre-recording settings are out of range"));
    const bool changed = seconds != preSeconds_ || like.framesPerSecond != preLike_.framesPerSecond
                         || like.videoCompressor != preLike_.videoCompressor || like.quality != preLike_.quality;
    preSeconds_ = seconds;
    preLike_ = like;
    if (seconds > 0)
        fps_ = like.framesPerSecond;
    if (changed)
        stopEncoder();
    if (!connected_)
        return {};
    updateStreaming();
    startRing();
    return {};
}

// The component has checked the settings; what is checked here would otherwise crash.
CaptureResult FfmpegCaptureDevice::startRecording(const RecordingSettings& asked)
{
    RecordingSettings settings = asked;
    if (!connected_)
        return notConnected();
    if (capturing_)
        return CaptureError{CaptureError::Busy, QStringLiteral("Not possible while a recording runs")};
    if (settings.framesPerSecond < 1 || settings.timeLimit < 0 || settings.videoCompressor >= codecs_.size()
        || settings.audioDevice >= audio_.size())
        return unsupported(QStringLiteral("The recording settings are out of range"));
    const bool ringWas = s_->ringOn;
    fps_ = settings.framesPerSecond;
    if (auto e = ensureStreaming())
        return e;
    if (auto e = awaitStream())
        return e;
    if (const int own = cameraRate(); own > 0 && own != fps_) {
        settings.framesPerSecond = own;
        fps_ = streaming_.framesPerSecond = own;
    }

    std::unique_ptr<AudioSource> audio;
    if (settings.audioDevice >= 0) {
        QString why;
        audio = openAudioSource(audio_[settings.audioDevice], settings.sampleRate, settings.channels, settings.bits, why);
        if (!audio)
            return CaptureError{CaptureError::NoDevice, why};
    }

    RecorderSettings rs = recorderSettings(settings);
    rs.audio = bool(audio);
    QString error;
    auto recorder = AviRecorder::create(rs, error);
    if (!recorder)
        return CaptureError{CaptureError::FileError, error};

    // The ring is kept when its pictures are what this recording stores.
    bool keepRing = false;
    {
        std::lock_guard lock(s_->m);
        keepRing = ringWas && s_->ringOn && s_->started && s_->fps == rs.framesPerSecond
                   && (rs.stream ? s_->copyPackets : (!s_->encoders.empty() && s_->encoders.front() && s_->encoders.front()->sameOutput(rs)));
    }
    std::vector<std::unique_ptr<FrameEncoder>> encoders;
    if (!keepRing) {
        stopEncoder();
        encoders = makeEncoders(rs, error);
        if (encoders.empty()) {
            // No file of the take is left behind, and the operator keeps the held seconds.
            recorder.reset();
            QFile::remove(rs.path);
            startRing();
            return CaptureError{CaptureError::FileError, error};
        }
    }

    const QString path = settings.path;
    std::function<qint64()> freeBytes;
    if (options_.freeBytes)
        freeBytes = [f = options_.freeBytes, path] { return f(path); };
    else
        freeBytes = [dir = QFileInfo(path).absolutePath()] { return QStorageInfo(dir).bytesAvailable(); };
    long held = 0;
    {
        std::lock_guard lock(s_->m);
        if (keepRing) {
            const long press = s_->lastSlot + 1;
            // Pictures still being coded at the press are newer than the ring: what it holds
            // beyond the chosen seconds before the press goes, from a key frame on.
            std::deque<VideoPacket>& ring = s_->ring;
            for (;;) {
                const auto next = std::find_if(ring.begin() + (ring.empty() ? 0 : 1), ring.end(),
                                               [](const VideoPacket& p) { return p.keyFrame; });
                if (next == ring.end() || next->slot > press - s_->ringSlots)
                    break;
                ring.erase(ring.begin(), next);
            }
            s_->fileOrigin = s_->ring.empty() ? (s_->queue.empty() ? press : s_->queue.front().slot) : s_->ring.front().slot;
            held = press - s_->fileOrigin;
            s_->pending = std::exchange(s_->ring, {});
            s_->ringBytes = 0;
            s_->ringOn = false;
        } else {
            planStart(true, settings.start);
            s_->encoders = std::move(encoders);
            s_->copyPackets = bool(rs.stream);
            s_->keyFirst = longGroups(rs.stream);
            s_->started = false;
            s_->lastSlot = -1;
            s_->fileOrigin = 0;
            s_->droppedSlots.clear();
            s_->queue.clear();
            s_->queueBytes = 0;
        }
        ++s_->generation;
        s_->armed = true;
        s_->ended = false;
        s_->wroteKey = false;
        s_->fps = fps_;
        s_->heldSlots = held;
        s_->limitSlots = settings.timeLimit > 0 ? held + long(settings.timeLimit) * fps_ : 0;
        s_->failure.clear();
        s_->recorder = std::move(recorder);
        s_->freeBytes = std::move(freeBytes);
        s_->audio = std::move(audio);
        s_->audioSamples = 0;
        s_->timesPath = settings.timesPath;
        s_->timesZero = settings.start;
        s_->times.clear();
    }

    if (deviceBackend_ == rehearsal_.get()) {
        // The jump began with the ring; the truth counts from the file's first picture.
        RehearsalScript script = rehearsal_->script();
        if (keepRing)
            script.contactSeconds -= double(s_->fileOrigin) / fps_;
        const QJsonObject truth =
            groundTruth(RehearsalLayout::forSize(rs.size, RehearsalBackend::cameraOf(device_)), script, fps_);
        QString why;
        if (!writeGroundTruth(groundTruthPathFor(settings.path), truth, why))
            QMetaObject::invokeMethod(this, [this, why] { emit warning(why); }, Qt::QueuedConnection);
    }

    if (!keepRing)
        startEncoderThreads();
    else
        s_->cv.notify_all();
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
        s.quit = true;
        s.cv.notify_all();
    }
    for (std::thread& t : s.encoderThreads)
        t.join();
    s.encoderThreads.clear();
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
    FrameTimes times;
    QString timesPath;
    {
        std::lock_guard lock(s.m);
        // Frames still queued after an early stop are empty chunks of the file too.
        for (const Shared::Item& item : s.queue)
            s.droppedSlots.push_back(item.slot);
        for (const VideoPacket& p : s.pending)
            s.droppedSlots.push_back(p.slot);
        std::sort(s.droppedSlots.begin(), s.droppedSlots.end());
        s.droppedSlots.erase(std::unique(s.droppedSlots.begin(), s.droppedSlots.end()), s.droppedSlots.end());
        s.queue.clear();
        s.queueBytes = 0;
        s.pending.clear();
        s.quit = false;
        s.encodersFailed = false;
        s.popSeq = s.writeSeq = 0;
        recorder = std::move(s.recorder);
        lastSlot = s.lastSlot - s.fileOrigin;
        dropped = s.droppedInFile();
        const auto fileStart = s.start + std::chrono::microseconds(1'000'000LL * s.fileOrigin / s.fps);
        seconds = s.started ? std::max(0.0, secondsBetween(fileStart, s.end)) : 0.0;
        s.armed = false;
        if (!s.timesPath.isEmpty()) {
            times = frameTimesOfFile(s, lastSlot);
            timesPath = s.timesPath;
        }
        s.encoders.clear();
    }
    // Written outside the lock: the capture thread goes on feeding the preview meanwhile.
    if (!timesPath.isEmpty()) {
        QString why;
        if (!times.write(timesPath, why) && warn.isEmpty())
            warn = why;
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
    startRing();

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
    st.framesCaptured = std::max(0L, s_->lastSlot - s_->fileOrigin + 1);
    st.framesDropped = s_->droppedInFile();
    st.audioSamples = s_->audioSamples;
    if (s_->started) {
        const auto fileStart = s_->start + std::chrono::microseconds(1'000'000LL * s_->fileOrigin / s_->fps);
        st.elapsedMs = long(std::lround(1000 * std::max(0.0, secondsBetween(fileStart, s_->ended ? s_->end : CaptureClock::now()))));
    }
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

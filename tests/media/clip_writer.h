#pragma once
// Tiny test clips written with FFmpeg's own encoders. Every frame shows its number: the top
// half is grey level 16 + 5n, the bottom half 235 - 5n (in the encoder's luma), so a frame
// read back names itself and a picture upside down is caught.
#include <QImage>
#include <QList>
#include <QString>
#include <set>

namespace tarvex::testclips {

enum class Codec { Mjpeg, H264, Raw };

struct ClipOptions {
    int width = 64;
    int height = 48;
    std::set<int> emptySlots;   // written as empty chunks (a dropped frame of a capture)
    int damagedSlot = -1;       // this packet's bytes are overwritten with garbage
    int skipPackets = 0;        // the first packets are left out (a clip cut mid-group)
    int gop = 8;                // H.264: a key frame every this many frames
    bool openGop = false;       // H.264: later key frames are recovery points, not IDR
};

// False with a message to stderr when the encoder or muxer refused.
bool writeClip(const QString& path, Codec codec, int frames, const ClipOptions& options = {});

// The number a decoded frame shows; -1 when its two halves disagree.
int frameNumberOf(const QImage& image, Codec codec);

// A plain sequential decode of the whole file: every picture FFmpeg hands out, in order.
QList<QImage> decodeSequentially(const QString& path);

} // namespace tarvex::testclips

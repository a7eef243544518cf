#pragma once
// What the frame view shows frames from: a clip of a fixed length and rate whose frame n
// is asked for on the view's worker thread, never on the user-interface thread.
#include <QImage>

namespace tarvex {

class ClipSource {
public:
    virtual ~ClipSource() = default;
    // Fixed for the source's life; read on the user-interface thread.
    virtual int frameCount() const = 0;
    virtual double frameRate() const = 0;   // frames per second; 0 when unknown
    // Called on the frame view's single worker thread only, one call at a time. A null
    // image when the frame cannot be made.
    virtual QImage frame(int n) = 0;
};

} // namespace tarvex

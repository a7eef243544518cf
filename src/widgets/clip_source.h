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
    // The same, for the view: a damaged frame (its data cut short or failing to decode) comes
    // back as the best picture the source has for it, with `damaged` set, so the view can
    // show it and say so. A source that knows no damage gives frame(n).
    virtual QImage frameAndState(int n, bool& damaged)
    {
        damaged = false;
        return frame(n);
    }
};

} // namespace tarvex

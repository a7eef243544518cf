#pragma once
// What other screens tell the review screen: the video it is to open on its next arrival
// (the capture screen after a recording). The review screen implements it;
// Station::reviewSession() finds it.
#include <QString>

namespace tarvex {

class ReviewSession {
public:
    virtual ~ReviewSession() = default;
    // The path in the review screen's video box (`Text6`).
    virtual QString videoPath() const = 0;
    virtual void setVideoPath(const QString& path) = 0;
};

} // namespace tarvex

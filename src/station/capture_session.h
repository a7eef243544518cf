#pragma once
// What other screens read from, and tell, the capture screen: the skier and pass of the
// recording in hand. The capture screen implements it; Station::captureSession() finds it.
#include <QString>

namespace tarvex {

class CaptureSession {
public:
    virtual ~CaptureSession() = default;
    virtual QString skierName() const = 0;
    virtual QString passNumber() const = 0;
    // As if typed by the operator: the screen's name rules run (the pass goes back to "1").
    virtual void setSkierName(const QString& name) = 0;
    virtual void setPassNumber(const QString& pass) = 0;
    // The last recording's skier name had to be changed to keep an existing file: the
    // screen's duplicate-name warning is showing.
    virtual bool nameWarningShown() const = 0;
};

} // namespace tarvex

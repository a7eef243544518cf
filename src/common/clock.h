#pragma once
#include <QDateTime>

namespace tarvex {

// Local date and time; tests substitute a FixedClock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace tarvex

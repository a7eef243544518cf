#pragma once
#include "common/clock.h"

namespace tarvex {

class FixedClock : public Clock {
public:
    explicit FixedClock(QDateTime t) : t_(std::move(t)) {}
    QDateTime now() const override { return t_; }
    void set(QDateTime t) { t_ = std::move(t); }
    void advance(int seconds) { t_ = t_.addSecs(seconds); }

private:
    QDateTime t_;
};

} // namespace tarvex

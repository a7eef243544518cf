#include "station/arrival.h"

namespace tarvex {

QString navigationTagOf(Arrival arrival)
{
    switch (arrival) {
    case Arrival::None: return {};
    case Arrival::FromMainScreen: return QStringLiteral("Setup");
    case Arrival::FromReview: return QStringLiteral("Timer");
    case Arrival::Recorded: return QStringLiteral("Capture");
    case Arrival::CaptureSkipped: return QStringLiteral("CaptureGoToTimer");
    case Arrival::LoggedVideo: return QStringLiteral("View");
    case Arrival::FrameChosen: return QStringLiteral("SelectFrame");
    case Arrival::PictureMenu: return QStringLiteral("PictureLoadMenu");
    case Arrival::PictureLog: return QStringLiteral("PictureLog");
    case Arrival::FromMeasure: return QStringLiteral("Measure");
    }
    return {};
}

} // namespace tarvex

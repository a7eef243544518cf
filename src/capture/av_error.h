#pragma once
#include <QString>

namespace tarvex {

// FFmpeg's own words for one of its error numbers, for the messages the operator sees.
QString avError(int code);

} // namespace tarvex

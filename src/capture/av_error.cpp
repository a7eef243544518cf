#include "capture/av_error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace tarvex {

QString avError(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return QString::fromLocal8Bit(buf);
}

} // namespace tarvex

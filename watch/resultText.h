// The text of each result code of the library: the one table of all front ends.
#pragma once

#include "QXUPSSDK.h"

#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, text) text
#endif

namespace qxwatch {

// Header-only, so that the library keeps its four exports. The program passes
// the text through QCoreApplication::translate("comAdapter", ...).
inline const char* resultText(int code) {
    switch (code) {
        case Success:
            return QT_TRANSLATE_NOOP("comAdapter", "success");
        case InvalidArgument:
            return QT_TRANSLATE_NOOP("comAdapter", "invalid argument");
        case PortError:
            return QT_TRANSLATE_NOOP("comAdapter", "port error");
        case NoResource:
            return QT_TRANSLATE_NOOP("comAdapter", "no resource");
        case IoError:
            return QT_TRANSLATE_NOOP("comAdapter", "I/O error");
        case IllegalState:
            return QT_TRANSLATE_NOOP("comAdapter", "illegal state");
        case InProgress:
            return QT_TRANSLATE_NOOP("comAdapter", "in progress");
        case TimedOut:
            return QT_TRANSLATE_NOOP("comAdapter", "timed out");
        case ExceptionIllegalFunction:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: illegal function");
        case ExceptionIllegalDataAddress:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: illegal data address");
        case ExceptionIllegalDataValue:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: illegal data value");
        case ExceptionSlaveDeviceFailure:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: slave device failure");
        case ExceptionAcknowledge:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: acknowledge");
        case ExceptionSlaveDeviceBusy:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: slave device busy");
        case ExceptionMemoryParityError:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: memory parity error");
        case ExceptionGatewayPathUnavailable:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: gateway path unavailable");
        case ExceptionGatewayTargetFailed:
            return QT_TRANSLATE_NOOP("comAdapter", "exception: gateway target failed");
        default:
            return QT_TRANSLATE_NOOP("comAdapter", "unknown result");
    }
}

}  // namespace qxwatch

#pragma once
// The forms' units in Qt's: twips in device-independent pixels, UTF-8 text in a QString.
#include <QString>
#include <string_view>

#include "forms/Form.h"

namespace platform::qt {

inline int Pixels(int twips) {
    return twips / forms::kTwipsPerPixel;
}

inline QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace platform::qt

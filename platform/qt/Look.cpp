#include "platform/qt/Look.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QByteArray>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QResource>
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/qt/FormWindow.h"

namespace platform::qt {
namespace {

constexpr int kCaptionPoints = 8;

// A face whose metrics fit every caption into the fixed button sizes at 96 dpi; where none is
// installed, the buttons draw a caption that does not fit a notch smaller.
QString CaptionFace() {
    for (const char* sameMetrics : {"Liberation Sans", "Arimo", "Arial"}) {
        QString face = QString::fromLatin1(sameMetrics);
        if (QFontDatabase::hasFamily(face)) {
            return face;
        }
    }
    return QStringLiteral("Liberation Sans");
}

// The icon's pixels as the build wrote them (IconPixels.cpp): width and height, then the rows.
// Decoding its PNG here instead made Qt load its image format plugins before the first window.
QIcon WindowIcon() {
    const QByteArray data = QResource(QStringLiteral(":/icons/ostrivane.argb")).uncompressedData();
    std::array<std::uint32_t, 2> size{};
    if (data.size() < static_cast<qsizetype>(sizeof size)) {
        return {};
    }
    std::memcpy(size.data(), data.constData(), sizeof size);
    QImage image(static_cast<int>(size[0]), static_cast<int>(size[1]), QImage::Format_ARGB32);
    if (image.isNull() ||
        data.size() != static_cast<qsizetype>(sizeof size) + image.sizeInBytes()) {
        return {};
    }
    std::memcpy(image.bits(), data.constData() + sizeof size, image.sizeInBytes());
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace

void ApplyLook() {
    QApplication::setFont(QFont(CaptionFace(), kCaptionPoints));
    QApplication::setWindowIcon(WindowIcon());
    // Assistive technology sees each form as a window named by its caption, not as a filler.
    QAccessible::installFactory(
        [](const QString& /*key*/, QObject* object) -> QAccessibleInterface* {
            auto* window = dynamic_cast<FormWindow*>(object);
            return window != nullptr ? new QAccessibleWidget(window, QAccessible::Window) : nullptr;
        });
}

}  // namespace platform::qt

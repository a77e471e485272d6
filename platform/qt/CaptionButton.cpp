#include "platform/qt/CaptionButton.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

namespace platform::qt {
namespace {

constexpr double kSmallestPoints = 6;
constexpr double kNotchPoints = 0.5;
constexpr int kCaptionFlags = Qt::AlignCenter | Qt::TextWordWrap;

// The largest size of the font, down to the smallest, at which the caption fits the area.
QFont Fit(QFont font, const QRect& area, const QString& caption) {
    while (font.pointSizeF() > kSmallestPoints &&
           !area.contains(QFontMetrics(font).boundingRect(area, kCaptionFlags, caption))) {
        font.setPointSizeF(std::max(kSmallestPoints, font.pointSizeF() - kNotchPoints));
    }
    return font;
}

}  // namespace

QRect CaptionButton::CaptionArea() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

QFont CaptionButton::CaptionFont() const {
    const QRect area = CaptionArea();
    if (!fitted_ || text() != fitted_->caption || font() != fitted_->font ||
        area != fitted_->area) {
        fitted_ = Fitted{text(), font(), area, Fit(font(), area, text())};
    }
    return fitted_->fitted;
}

void CaptionButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setFont(CaptionFont());
    painter.drawItemText(CaptionArea(), kCaptionFlags, palette(), isEnabled(), text(),
                         QPalette::ButtonText);
}

void CaptionButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !event->isAutoRepeat()) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

}  // namespace platform::qt

#pragma once
#include <QFont>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <optional>

namespace platform::qt {

// A push button that word-wraps its caption when it does not fit on one line, and draws it a notch
// smaller when it does not fit even so (never under 6 pt), keeping the text itself exactly the
// caption (for screen readers); Enter clicks it as Space does.
class CaptionButton : public QPushButton {
  public:
    using QPushButton::QPushButton;
    // The font the caption is drawn in, measured again only when the caption, the font or the
    // room for the caption has changed since it was last asked for.
    QFont CaptionFont() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QRect CaptionArea() const;

    // What the last measurement was made for, and its outcome.
    struct Fitted {
        QString caption;
        QFont font;
        QRect area;
        QFont fitted;
    };
    mutable std::optional<Fitted> fitted_;
};

}  // namespace platform::qt

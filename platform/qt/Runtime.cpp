#include "platform/qt/Runtime.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <vector>

namespace platform::qt {
namespace {

QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int Pixels(int twips) {
    return twips / forms::kTwipsPerPixel;
}

QFont CaptionButton::CaptionFont() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    QFont font = this->font();
    while (font.pointSizeF() > 6 && !area.contains(QFontMetrics(font).boundingRect(
                                        area, Qt::AlignCenter | Qt::TextWordWrap, text()))) {
        font.setPointSizeF(std::max(6.0, font.pointSizeF() - 0.5));
    }
    return font;
}

void CaptionButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setFont(CaptionFont());
    painter.drawItemText(style()->subElementRect(QStyle::SE_PushButtonContents, &option, this),
                         Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), text(),
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

FormWindow::FormWindow(const forms::FormDefinition& form, Runtime& runtime)
    : form_(form), runtime_(runtime) {
    setObjectName(ToQt(form.name));
    setWindowTitle(ToQt(form.caption));
    setFixedSize(Pixels(form.clientWidth), Pixels(form.clientHeight));

    // Frames first, so that the buttons can be placed inside them whatever the table's order.
    std::vector<const forms::Control*> ordered;
    for (const auto& control : form.controls) {
        ordered.push_back(&control);
    }
    std::stable_partition(ordered.begin(), ordered.end(), [](const forms::Control* c) {
        return c->kind == forms::ControlKind::Frame;
    });
    for (const forms::Control* control : ordered) {
        QWidget* parent = control->parent.empty() ? this : controls_.at(control->parent);
        QWidget* widget = nullptr;
        switch (control->kind) {
            case forms::ControlKind::Frame:
                widget = new QGroupBox(ToQt(control->caption), parent);
                break;
            case forms::ControlKind::CommandButton: {
                auto* button = new CaptionButton(ToQt(control->caption), parent);
                button->setAutoDefault(false);
                connect(button, &QPushButton::clicked, this, [this, control] {
                    if (form_.click != nullptr) {
                        form_.click(*this, *control);
                    }
                });
                widget = button;
                break;
            }
            case forms::ControlKind::TextBox: {
                auto* text = new QPlainTextEdit(ToQt(control->caption), parent);
                text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                widget = text;
                break;
            }
        }
        widget->setObjectName(ToQt(control->name));
        widget->setAccessibleName(ToQt(control->accessibleName));
        widget->setGeometry(Pixels(control->left), Pixels(control->top), Pixels(control->width),
                            Pixels(control->height));
        controls_.emplace(control->name, widget);
    }

    // Tab order follows the table's tab indexes; frames take no focus and drop out by themselves.
    std::sort(ordered.begin(), ordered.end(), [](const forms::Control* a, const forms::Control* b) {
        return a->tabIndex < b->tabIndex;
    });
    QWidget* previous = nullptr;
    for (const forms::Control* control : ordered) {
        QWidget* widget = controls_.at(control->name);
        if (widget->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        if (previous == nullptr) {
            widget->setFocus();
        } else {
            QWidget::setTabOrder(previous, widget);
        }
        previous = widget;
    }
}

QWidget* FormWindow::Control(std::string_view name) const {
    const auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

void FormWindow::SetText(std::string_view control, const std::string& text) {
    QWidget* widget = Control(control);
    if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        // The text box keeps lines apart with LF alone; CR LF would show a stray CR.
        box->setPlainText(ToQt(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(ToQt(text));
    }
}

void FormWindow::Show(const forms::FormDefinition& form) {
    runtime_.Show(form);
}

void FormWindow::closeEvent(QCloseEvent* event) {
    runtime_.Forget(*this);
    QWidget::closeEvent(event);
}

Runtime::Runtime() {
    // A face whose metrics fit every caption into the fixed button sizes at 96 dpi; where none
    // is installed, the buttons draw a caption that does not fit a notch smaller.
    QString face = QStringLiteral("Liberation Sans");
    for (const char* sameMetrics : {"Liberation Sans", "Arimo", "Arial"}) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(sameMetrics))) {
            face = QString::fromLatin1(sameMetrics);
            break;
        }
    }
    QApplication::setFont(QFont(face, 8));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ostrivane.png")));
    // Assistive technology sees each form as a window named by its caption, not as a filler.
    QAccessible::installFactory([](const QString&, QObject* object) -> QAccessibleInterface* {
        auto* window = dynamic_cast<FormWindow*>(object);
        return window != nullptr ? new QAccessibleWidget(window, QAccessible::Window) : nullptr;
    });
}

Runtime::~Runtime() {
    for (const auto& window : created_) {
        delete window.data();
    }
}

FormWindow* Runtime::Find(const forms::FormDefinition& form) const {
    const auto it = open_.find(&form);
    return it == open_.end() ? nullptr : it->second;
}

FormWindow& Runtime::Show(const forms::FormDefinition& form) {
    if (FormWindow* window = Find(form)) {
        return *window;  // already open: nothing more happens
    }
    auto* window = new FormWindow(form, *this);
    if (&form != startup_) {
        // Destroyed on close, so that the next opening loads it afresh. The start-up form is
        // only hidden: its own click handler may be running beneath the event pump that
        // delivers the close, and it goes with the runtime at the end.
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    open_[&form] = window;
    std::erase_if(created_, [](const QPointer<FormWindow>& w) { return w.isNull(); });
    created_.emplace_back(window);
    if (form.load != nullptr) {
        form.load(*window);
    }
    window->show();
    return *window;
}

void Runtime::Forget(const FormWindow& window) {
    open_.erase(&window.Definition());
}

FormWindow& Runtime::Start(const forms::FormDefinition& startup) {
    startup_ = &startup;
    return Show(startup);
}

int Runtime::Run(const forms::FormDefinition& startup) {
    Start(startup);
    return QApplication::exec();
}

}  // namespace platform::qt

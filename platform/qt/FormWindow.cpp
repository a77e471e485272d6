#include "platform/qt/FormWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <algorithm>
#include <vector>

#include "forms/TabOrder.h"
#include "platform/qt/CaptionButton.h"
#include "platform/qt/FormUnits.h"
#include "platform/qt/Runtime.h"

namespace platform::qt {
namespace {

// The table's controls with the frames first, so that every control's frame exists before it.
std::vector<const forms::Control*> FramesFirst(const forms::FormDefinition& form) {
    std::vector<const forms::Control*> ordered;
    ordered.reserve(form.controls.size());
    for (const forms::Control& control : form.controls) {
        ordered.push_back(&control);
    }
    std::stable_partition(ordered.begin(), ordered.end(), [](const forms::Control* c) {
        return c->kind == forms::ControlKind::Frame;
    });
    return ordered;
}

}  // namespace

FormWindow::FormWindow(const forms::FormDefinition& form, Runtime& runtime)
    : form_(form), runtime_(runtime) {
    setObjectName(ToQt(form.name));
    setWindowTitle(ToQt(form.caption));
    setFixedSize(Pixels(form.clientWidth), Pixels(form.clientHeight));
    for (const forms::Control* control : FramesFirst(form)) {
        QWidget* parent = control->parent.empty() ? this : controls_.at(control->parent);
        Place(*control, Build(*control, parent));
    }
    SetTabOrder();
}

QWidget* FormWindow::Build(const forms::Control& control, QWidget* parent) {
    switch (control.kind) {
        case forms::ControlKind::Frame:
            return new QGroupBox(ToQt(control.caption), parent);
        case forms::ControlKind::CommandButton:
            return BuildButton(control, parent);
        case forms::ControlKind::TextBox:
            return BuildTextBox(control, parent);
    }
    return nullptr;
}

QWidget* FormWindow::BuildButton(const forms::Control& control, QWidget* parent) {
    auto* button = new CaptionButton(ToQt(control.caption), parent);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, &control] { Click(control); });
    return button;
}

QWidget* FormWindow::BuildTextBox(const forms::Control& control, QWidget* parent) {
    auto* text = new QPlainTextEdit(ToQt(control.caption), parent);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return text;
}

void FormWindow::Place(const forms::Control& control, QWidget* widget) {
    widget->setObjectName(ToQt(control.name));
    widget->setAccessibleName(ToQt(control.accessibleName));
    widget->setGeometry(Pixels(control.left), Pixels(control.top), Pixels(control.width),
                        Pixels(control.height));
    controls_.emplace(control.name, widget);
}

// The focus starts on the first control in tab order that takes it; frames take none.
void FormWindow::SetTabOrder() {
    QWidget* previous = nullptr;
    for (const forms::Control* control : forms::TabOrder(form_)) {
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

void FormWindow::Click(const forms::Control& button) {
    if (form_.click == nullptr) {
        return;
    }
    closing_.HandlerStarted();
    form_.click(*this, button);
    if (closing_.HandlerReturned()) {
        deleteLater();
    }
}

// Closed, the window no longer counts as open: the next Show of its form builds and loads it
// afresh. It goes at once unless one of its handlers still runs beneath the event pump.
void FormWindow::closeEvent(QCloseEvent* event) {
    runtime_.Forget(*this);
    QWidget::closeEvent(event);
    if (closing_.Close()) {
        deleteLater();
    }
}

}  // namespace platform::qt

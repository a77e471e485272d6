#pragma once
// One form as a real window: its controls built from the form's table, its handlers called.
#include <QWidget>
#include <map>
#include <string>
#include <string_view>

#include "forms/DeferredClose.h"
#include "forms/Form.h"

namespace platform::qt {

class Runtime;

class FormWindow : public QWidget, public forms::FormHost {
  public:
    FormWindow(const forms::FormDefinition& form, Runtime& runtime);

    const forms::FormDefinition& Definition() const { return form_; }
    QWidget* Control(std::string_view name) const;

    void SetText(std::string_view control, const std::string& text) override;
    void Show(const forms::FormDefinition& form) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* Build(const forms::Control& control, QWidget* parent);
    QWidget* BuildButton(const forms::Control& control, QWidget* parent);
    static QWidget* BuildTextBox(const forms::Control& control, QWidget* parent);
    void Place(const forms::Control& control, QWidget* widget);
    void SetTabOrder();
    void Click(const forms::Control& button);

    const forms::FormDefinition& form_;
    Runtime& runtime_;
    std::map<std::string_view, QWidget*> controls_;
    forms::DeferredClose closing_;
};

}  // namespace platform::qt

#include "platform/win32/Runtime.h"

#include <commctrl.h>

#include <algorithm>
#include <string_view>
#include <system_error>
#include <utility>

#include "forms/TabOrder.h"
#include "platform/win32/MessageLoop.h"
#include "platform/win32/Text.h"

namespace platform::win32 {
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr std::wstring_view kDialogFontFace = L"MS Sans Serif";
constexpr int kDialogFontPoints = 8;
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL, which the dialog manager sends
constexpr WORD kIconId = 1;
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

const forms::Control* Named(const forms::FormDefinition& form, std::string_view name) {
    for (const auto& control : form.controls) {
        if (control.name == name) {
            return &control;
        }
    }
    return nullptr;
}

// Where a new group begins for the dialog manager: at every frame, and at each run of buttons
// that share a frame. Arrow keys and group-wise focus then stay within one frame.
bool StartsGroup(const forms::Control& control, const forms::Control* previous) {
    return previous == nullptr || control.kind == forms::ControlKind::Frame ||
           previous->kind == forms::ControlKind::Frame || previous->parent != control.parent;
}

DWORD Style(const forms::Control& control) {
    switch (control.kind) {
        case forms::ControlKind::Frame:
            return BS_GROUPBOX;
        case forms::ControlKind::CommandButton:
            // Multi-line: the two taller buttons wrap their long captions onto a second line.
            return BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
        case forms::ControlKind::TextBox:
            // Wraps at the box's width (no ES_AUTOHSCROLL) and has no scroll bars.
            return ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP;
    }
    return 0;
}

}  // namespace

FormWindow::FormWindow(const forms::FormDefinition& form, Runtime& runtime)
    : form_(form), runtime_(runtime) {
    RECT frame{0, 0, runtime.Pixels(form.clientWidth), runtime.Pixels(form.clientHeight)};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
    const std::wstring caption = Widen(form.caption);
    CreateWindowExW(0, Runtime::kWindowClass, caption.c_str(), kFormStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                    nullptr, runtime.Instance(), this);
    if (window_ == nullptr) {  // set on WM_NCCREATE
        Fail("CreateWindowEx");
    }
    // Besides the class's icons: what a task list or another process asks the window for.
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(runtime.LargeIcon()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(runtime.SmallIcon()));
    CreateControls();
    lastFocus_ = FocusTarget();
}

FormWindow::~FormWindow() {
    if (window_ != nullptr) {
        // Gone with the runtime: the window must not call back into a half-destroyed object.
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(std::exchange(window_, nullptr));
    }
}

void FormWindow::CreateControls() {
    const forms::Control* previous = nullptr;
    // Created in tab order: the dialog manager tabs through the windows' z-order.
    for (const forms::Control* control : forms::TabOrder(form_)) {
        // Frames hold no child windows: a button is the window's child placed over its frame,
        // as dialog templates do it, so that its notifications reach this window directly.
        int left = control->left;
        int top = control->top;
        if (const forms::Control* frame = Named(form_, control->parent)) {
            left += frame->left;
            top += frame->top;
        }
        const int x = runtime_.Pixels(left);
        const int y = runtime_.Pixels(top);
        const int width = runtime_.Pixels(left + control->width) - x;
        const int height = runtime_.Pixels(top + control->height) - y;

        DWORD style = WS_CHILD | WS_VISIBLE | Style(*control);
        if (StartsGroup(*control, previous)) {
            style |= WS_GROUP;
        }
        const bool textBox = control->kind == forms::ControlKind::TextBox;
        const auto id = static_cast<INT_PTR>(kFirstControlId + (control - form_.controls.data()));
        const std::wstring text = Widen(control->caption);
        HWND handle = CreateWindowExW(textBox ? WS_EX_CLIENTEDGE : 0, textBox ? L"EDIT" : L"BUTTON",
                                      text.c_str(), style, x, y, width, height, window_,
                                      reinterpret_cast<HMENU>(id), runtime_.Instance(), nullptr);
        if (handle == nullptr) {
            Fail("CreateWindowEx");
        }
        SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(runtime_.Font()), FALSE);
        controls_.emplace(control->name, handle);
        previous = control;
    }
}

HWND FormWindow::Control(std::string_view name) const {
    const auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

const forms::Control* FormWindow::Find(HWND control) const {
    for (const auto& [name, handle] : controls_) {
        if (handle == control) {
            return Named(form_, name);
        }
    }
    return nullptr;
}

HWND FormWindow::FocusTarget() const {
    if (lastFocus_ != nullptr && IsWindow(lastFocus_) != FALSE) {
        return lastFocus_;
    }
    // The first control in tab order that takes the focus (frames do not).
    HWND first = GetNextDlgTabItem(window_, nullptr, FALSE);
    return first != nullptr ? first : window_;
}

void FormWindow::SetText(std::string_view control, const std::string& text) {
    if (HWND handle = Control(control)) {
        // Windows text boxes break lines at CR LF, which is what the forms write.
        SetWindowTextW(handle, Widen(text).c_str());
    }
}

void FormWindow::Show(const forms::FormDefinition& form) {
    runtime_.Show(form);
}

void FormWindow::Click(const forms::Control& control) {
    if (form_.click == nullptr) {
        return;
    }
    closing_.HandlerStarted();
    form_.click(*this, control);
    if (closing_.HandlerReturned()) {
        DestroyWindow(window_);
    }
}

void FormWindow::Close() {
    runtime_.Closed(*this);
    if (closing_.Close()) {
        DestroyWindow(window_);
    } else {
        ShowWindow(window_, SW_HIDE);
    }
}

LRESULT CALLBACK FormWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<FormWindow*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->runtime_.Destroyed(*self);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

LRESULT FormWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
                const forms::Control* control = Find(reinterpret_cast<HWND>(lParam));
                if (control != nullptr && control->kind == forms::ControlKind::CommandButton) {
                    Click(*control);
                    return 0;
                }
            }
            break;
        case DM_GETDEFID: {
            // Asked by the dialog manager on Enter: the focused button is the one to click.
            // No button is a default one otherwise.
            const forms::Control* focused = Find(GetFocus());
            if (focused != nullptr && focused->kind == forms::ControlKind::CommandButton) {
                return MAKELRESULT(GetDlgCtrlID(GetFocus()), DC_HASDEFID);
            }
            return 0;
        }
        case WM_ACTIVATE:
            // A plain window would take the focus itself; keep it on the control that had it.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus != nullptr && IsChild(window_, focus) != FALSE) {
                    lastFocus_ = focus;
                }
            } else if (HIWORD(wParam) == 0) {
                SetFocus(FocusTarget());
            }
            return 0;
        case WM_SETFOCUS:
            SetFocus(FocusTarget());
            return 0;
        case WM_CLOSE:
            Close();
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

Runtime::Runtime(HINSTANCE instance) : instance_(instance) {
    // Loads common controls 6, which the manifest asks for: the themed buttons and frames.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) {
        dpi_ = 96;
    }

    // The classic dialog font, at the resolution of the screen: the twips layout was measured
    // against it. The later dialog faces (Tahoma, Segoe UI) run wider, and "Takes The Loose
    // Ball!" would wrap onto a second line that its one-line button cannot show.
    LOGFONTW font{};
    font.lfHeight = -MulDiv(kDialogFontPoints, dpi_, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    kDialogFontFace.copy(font.lfFaceName, LF_FACESIZE - 1);
    font_ = CreateFontIndirectW(&font);

    largeIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    smallIcon_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &FormWindow::Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = largeIcon_;
    windowClass.hIconSm = smallIcon_;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassExW(&windowClass) == 0) {
        Fail("RegisterClassEx");
    }
}

Runtime::~Runtime() {
    open_.clear();
    std::vector<std::unique_ptr<FormWindow>> windows;
    windows.swap(windows_);
    windows.clear();
    UnregisterClassW(kWindowClass, instance_);
    DeleteObject(font_);
    DestroyIcon(largeIcon_);
    DestroyIcon(smallIcon_);
}

int Runtime::Pixels(int twips) const {
    return MulDiv(twips, dpi_, kTwipsPerInch);
}

FormWindow* Runtime::Find(const forms::FormDefinition& form) const {
    const auto it = open_.find(&form);
    return it == open_.end() ? nullptr : it->second;
}

FormWindow& Runtime::Show(const forms::FormDefinition& form) {
    if (FormWindow* window = Find(form)) {
        return *window;  // already open: nothing more happens
    }
    FormWindow& window = *windows_.emplace_back(std::make_unique<FormWindow>(form, *this));
    open_[&form] = &window;
    if (form.load != nullptr) {
        form.load(window);
    }
    ShowWindow(window.Handle(), SW_SHOW);
    UpdateWindow(window.Handle());
    return window;
}

void Runtime::Closed(const FormWindow& window) {
    const auto it = open_.find(&window.Definition());
    if (it != open_.end() && it->second == &window) {
        open_.erase(it);
    }
}

void Runtime::Destroyed(const FormWindow& window) {
    Closed(window);
    std::erase_if(windows_, [&window](const auto& owned) { return owned.get() == &window; });
}

int Runtime::Loop() {
    MSG message{};
    while (!open_.empty()) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam);  // someone asked the program to quit
        }
        if (got == -1) {
            Fail("GetMessage");
        }
        Deliver(message);
    }
    return 0;
}

int Runtime::Run(const forms::FormDefinition& startup) {
    Show(startup);
    return Loop();
}

}  // namespace platform::win32

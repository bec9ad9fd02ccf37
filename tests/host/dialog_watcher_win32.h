#pragma once
// The Windows host program's eyes and hands on the plug-in's modal dialogs. While a
// DialogWatcher lives, every dialog that opens in its thread is read back once it is
// on screen (from a timer that runs in the dialog's own modal loop: caption, controls
// 1002 and 1003, the lines of list box 1001 in order) and then closed the way the
// watcher is told, as a user would: the Close button, Esc or the caption's close box.
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestran::hosttest {

// What the host saw of one File Properties dialog.
struct DialogSeen {
    std::string caption;
    bool visible = false;
    std::string path;                   // control 1002
    std::string size;                   // control 1003
    std::vector<std::string> archives;  // list box 1001, top to bottom
    std::string closeButton;            // the text of button IDCANCEL
    bool ignoredTheClose = false;       // still open two seconds after it was closed
};

enum class DialogClose { CloseButton, EscapeKey, CloseBox };

// Whether this process can show windows at all (Wine without an X display cannot).
inline bool canShowWindows() {
    static const bool can = [] {
        const HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (window == nullptr) return false;
        DestroyWindow(window);
        return true;
    }();
    return can;
}

// The number of dialogs watchers have seen in this thread.
inline int& dialogsSeenInThisThread() {
    thread_local int count = 0;
    return count;
}

class DialogWatcher {
public:
    // Called on every tick while a dialog is open, after it was read; the dialog stays
    // open while it returns true.
    using KeepOpen = std::function<bool(HWND dialog, const DialogSeen& seen)>;

    explicit DialogWatcher(DialogClose how = DialogClose::CloseButton, KeepOpen keepOpen = {})
        : how_(how), keepOpen_(std::move(keepOpen)), previous_(current()) {
        hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, afterMessage, nullptr, GetCurrentThreadId());
        if (hook_ == nullptr) throw std::runtime_error("SetWindowsHookEx failed");
        current() = this;
    }
    ~DialogWatcher() {
        UnhookWindowsHookEx(hook_);
        current() = previous_;
    }
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    const std::vector<DialogSeen>& seen() const { return seen_; }

    // The watcher of this thread, if any.
    static DialogWatcher* active() { return current(); }

private:
    static constexpr UINT_PTR kTimer = 0x4B45;  // "KE"
    static constexpr UINT kTickMs = 20;
    static constexpr int kCloseTicks = 100;

    static DialogWatcher*& current() {
        thread_local DialogWatcher* watcher = nullptr;
        return watcher;
    }

    // A dialog has handled WM_INITDIALOG: look at it once its modal loop runs.
    static LRESULT CALLBACK afterMessage(int code, WPARAM wParam, LPARAM lParam) {
        DialogWatcher* self = current();
        const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && self != nullptr && message->message == WM_INITDIALOG) {
            self->open_ = nullptr;
            self->hiddenTicks_ = 0;
            SetTimer(message->hwnd, kTimer, kTickMs, tick);
        }
        return CallNextHookEx(self != nullptr ? self->hook_ : nullptr, code, wParam, lParam);
    }

    static void CALLBACK tick(HWND dialog, UINT, UINT_PTR, DWORD) {
        DialogWatcher* self = current();
        if (self == nullptr) {
            KillTimer(dialog, kTimer);
            return;
        }
        if (self->open_ != dialog) {
            // The modal loop shows the dialog once its queue is empty; a tick may come
            // first. It is read once on screen (or, failing that, after two seconds).
            if (!IsWindowVisible(dialog) && ++self->hiddenTicks_ < kCloseTicks) return;
            self->open_ = dialog;
            self->hiddenTicks_ = 0;
            self->closeTicks_ = -1;
            self->seen_.push_back(read(dialog));
            ++dialogsSeenInThisThread();
        }
        if (self->closeTicks_ < 0) {
            if (self->keepOpen_ && self->keepOpen_(dialog, self->seen_.back())) return;
            self->closeTicks_ = 0;
            self->close(dialog);
            return;
        }
        // The timer dies with the dialog: a dialog still here ignored its close.
        if (++self->closeTicks_ < kCloseTicks) return;
        self->seen_.back().ignoredTheClose = true;
        KillTimer(dialog, kTimer);
        EndDialog(dialog, IDCANCEL);
    }

    static std::string text(HWND window) {
        char buffer[1024] = {};
        GetWindowTextA(window, buffer, sizeof buffer);
        return buffer;
    }

    static DialogSeen read(HWND dialog) {
        DialogSeen seen;
        seen.caption = text(dialog);
        seen.visible = IsWindowVisible(dialog) != FALSE;
        char buffer[1024] = {};
        GetDlgItemTextA(dialog, 1002, buffer, sizeof buffer);
        seen.path = buffer;
        GetDlgItemTextA(dialog, 1003, buffer, sizeof buffer);
        seen.size = buffer;
        seen.closeButton = text(GetDlgItem(dialog, IDCANCEL));
        const HWND list = GetDlgItem(dialog, 1001);
        const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (LRESULT line = 0; line < count; ++line) {
            std::string item(static_cast<std::size_t>(SendMessageA(list, LB_GETTEXTLEN, line, 0)) + 1, '\0');
            SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(item.data()));
            item.resize(item.find('\0'));
            seen.archives.push_back(item);
        }
        return seen;
    }

    void close(HWND dialog) const {
        switch (how_) {
            case DialogClose::CloseButton:
                PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
                break;
            case DialogClose::EscapeKey: {
                // The key goes to the control with the focus; the dialog's message loop
                // turns it into the cancel command.
                const HWND focus = GetFocus();
                PostMessageA(focus != nullptr ? focus : dialog, WM_KEYDOWN, VK_ESCAPE, 1);
                break;
            }
            case DialogClose::CloseBox:
                PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
        }
    }

    DialogClose how_;
    KeepOpen keepOpen_;
    DialogWatcher* previous_;
    HHOOK hook_ = nullptr;
    HWND open_ = nullptr;
    int hiddenTicks_ = 0;  // ticks before the dialog was on screen
    int closeTicks_ = -1;  // ticks since the close was sent; -1 before
    std::vector<DialogSeen> seen_;
};

}  // namespace kestran::hosttest

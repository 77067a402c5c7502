// The Windows layer's clock, host window link and message box, and the service set.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "platform/windows/windows_layer.h"
#include "text/code_page.h"

namespace vardel::platform::windows_layer {
namespace {

class WindowsClock final : public Clock {
public:
    std::uint32_t TickCount() override { return GetTickCount(); }
    LocalTime Now() override {
        SYSTEMTIME st{};
        GetLocalTime(&st);
        LocalTime t;
        t.year = st.wYear;
        t.month = st.wMonth;
        t.dayOfWeek = st.wDayOfWeek;
        t.day = st.wDay;
        t.hour = st.wHour;
        t.minute = st.wMinute;
        t.second = st.wSecond;
        t.milliseconds = st.wMilliseconds;
        return t;
    }
    bool ToVariantTime(const LocalTime& t, double& serial) override {
        SYSTEMTIME st{};
        st.wYear = t.year;
        st.wMonth = t.month;
        st.wDayOfWeek = t.dayOfWeek;
        st.wDay = t.day;
        st.wHour = t.hour;
        st.wMinute = t.minute;
        st.wSecond = t.second;
        st.wMilliseconds = t.milliseconds;
        DOUBLE value = 0.0;
        if (!SystemTimeToVariantTime(&st, &value)) return false;
        serial = value;
        return true;
    }
};

class WindowsHostLink final : public HostLink {
public:
    std::intptr_t SendToHost(HostWindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                             std::intptr_t lparam) override {
        if (!window) return 0;
        return static_cast<std::intptr_t>(
            SendMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(wparam),
                         static_cast<LPARAM>(lparam)));
    }
};

class WindowsMessageBox final : public MessageBoxService {
public:
    void Show(std::string_view text, std::string_view caption, MessageIcon icon) override {
        const std::string t(text), c(caption);
        UINT type = MB_OK;
        if (icon == MessageIcon::Stop) type |= MB_ICONSTOP;
        MessageBoxA(nullptr, t.c_str(), c.empty() ? nullptr : c.c_str(), type);
    }
};

}  // namespace

Clock& SystemClock() {
    static WindowsClock clock;
    return clock;
}

HostLink& WindowMessageLink() {
    static WindowsHostLink link;
    return link;
}

MessageBoxService& ModalMessageBox() {
    static WindowsMessageBox box;
    return box;
}

}  // namespace vardel::platform::windows_layer

namespace vardel::platform {

ServiceSet DefaultServices() {
    ServiceSet s;
    s.clock = &windows_layer::SystemClock();
    s.profiles = &windows_layer::PrivateProfileStore();
    s.host = &windows_layer::WindowMessageLink();
    s.messageBox = &windows_layer::ModalMessageBox();
    s.components = &windows_layer::AutomationComponents();
    s.dialogs = &windows_layer::DialogBoxService();
    return s;
}

// The texts are in the system's ANSI code page, which the Windows layer converts
// with the system's own functions (ansi_text.h); the portable rules keep their
// single-byte form here: "character n" is the byte n, and cuts count bytes.
text::CodePage HostAnsiCodePage() { return text::CodePage::Windows1252(); }

}  // namespace vardel::platform

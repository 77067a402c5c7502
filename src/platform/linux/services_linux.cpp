// The Linux layer's clock, host window link and message box, and the service set.
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/linux/linux_layer.h"
#include "platform/linux/terminal_dialogs.h"
#include "timeutil/timestamp.h"
#include "vardel/host_window.h"

namespace vardel::platform::linux_layer {
namespace {

class LinuxClock final : public Clock {
public:
    std::uint32_t TickCount() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        // Milliseconds since start-up, kept to their low 32 bits like GetTickCount.
        const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                        static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<std::uint32_t>(ms);
    }
    LocalTime Now() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        std::tm tm{};
        localtime_r(&ts.tv_sec, &tm);
        LocalTime t;
        t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
        t.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
        t.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
        t.day = static_cast<std::uint16_t>(tm.tm_mday);
        t.hour = static_cast<std::uint16_t>(tm.tm_hour);
        t.minute = static_cast<std::uint16_t>(tm.tm_min);
        t.second = static_cast<std::uint16_t>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
        t.milliseconds = static_cast<std::uint16_t>(ts.tv_nsec / 1000000);
        return t;
    }
    bool ToVariantTime(const LocalTime& t, double& serial) override {
        return timeutil::CalendarToDaySerial(t, serial);
    }
};

class LinuxHostLink final : public HostLink {
public:
    std::intptr_t SendToHost(HostWindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                             std::intptr_t lparam) override {
        if (!window) return 0;
        auto* host = static_cast<vardel_host_window*>(window);
        if (!host->send_message) return 0;
        return host->send_message(window, message, wparam, lparam);
    }
};

// There is no modal box on a terminal: the message goes to standard error as one
// line, the caption first, carriage returns shown as " | ".
class LinuxMessageBox final : public MessageBoxService {
public:
    void Show(std::string_view text, std::string_view caption, MessageIcon /*icon*/) override {
        std::string line(caption);
        line += ": ";
        for (char c : text) {
            if (c == '\r')
                line += " | ";
            else if (c != '\n')
                line += c;
        }
        line += '\n';
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
};

}  // namespace

Clock& SystemClock() {
    static LinuxClock clock;
    return clock;
}

HostLink& HostWindowLink() {
    static LinuxHostLink link;
    return link;
}

MessageBoxService& StderrMessageBox() {
    static LinuxMessageBox box;
    return box;
}

std::string NativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native)
        if (c == '\\') c = '/';
    return native;
}

}  // namespace vardel::platform::linux_layer

namespace vardel::platform {

ServiceSet DefaultServices() {
    ServiceSet s;
    s.clock = &linux_layer::SystemClock();
    s.profiles = &linux_layer::IniProfileStore();
    s.host = &linux_layer::HostWindowLink();
    s.messageBox = &linux_layer::StderrMessageBox();
    s.components = &linux_layer::XmlHttpComponents();
    s.dialogs = &linux_layer::TerminalDialogService();
    return s;
}

}  // namespace vardel::platform

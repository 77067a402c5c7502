// The platform layer as the portable code sees it: a few small services, each an
// interface with one implementation per platform (src/platform/linux,
// src/platform/windows) and fakes in the tests.
//
// Portable code reaches them only through Services(); tests install their own
// set with ScopedServices.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::text {
class CodePage;
}

namespace vardel::platform {

class ComponentFactory;
class DialogService;  // platform/dialogs.h

// A host window handle: an HWND on Windows, elsewhere the address of a host object
// that starts with a vardel_host_window (include/vardel/host_window.h).
using HostWindowHandle = void*;

// Calendar record with the fields of the Windows SYSTEMTIME, in its order.
struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // The system's 32-bit millisecond counter since start-up; wraps like GetTickCount.
    virtual std::uint32_t TickCount() = 0;
    // The local date and time.
    virtual LocalTime Now() = 0;
    // Converts a calendar record to an OLE Automation date (days since 30 December
    // 1899, time of day as fraction). False when the record is not a valid date.
    virtual bool ToVariantTime(const LocalTime& t, double& serial) = 0;
};

// Private-profile (INI) files. File names are the plug-in's own texts
// ("...\plugins\Vardel\Vardel2.ini" or whatever the host names); each layer
// opens them in its own way.
class ProfileStore {
public:
    virtual ~ProfileStore() = default;
    // The value of key in section, or defaultValue when the file, section or key is
    // missing. At most bufferSize - 1 characters are returned, as the Windows call
    // with a buffer of that size would give.
    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue, std::size_t bufferSize,
                                   std::string_view file) = 0;
    // Every line of the section, whole (no buffer limit): "key=value" with key and
    // value trimmed, lines without "=" as they stand, comment lines left out.
    virtual std::vector<std::string> ReadSection(std::string_view section,
                                                 std::string_view file) = 0;
    // Replaces the first matching key or appends it to its section (the section to
    // the file, the file when it is missing). False when the file cannot be written.
    virtual bool WriteString(std::string_view section, std::string_view key,
                             std::string_view value, std::string_view file) = 0;
    // WriteString for the plug-in's own files (the site list): the file is
    // replaced whole, never rewritten in place, so that a reader or a crash sees
    // the old file or the new one, and a read-only file is left alone. (The Linux
    // layer writes every file so; on Windows WriteString is the system's own
    // write in place, which the host's profile keeps.)
    virtual bool WriteStringReplacingFile(std::string_view section, std::string_view key,
                                          std::string_view value, std::string_view file) = 0;
    // Replaces the whole content of the section by the given "key=value" lines; an
    // empty list leaves the section header with no keys.
    virtual bool WriteSection(std::string_view section, const std::vector<std::string>& lines,
                              std::string_view file) = 0;
};

class HostLink {
public:
    virtual ~HostLink() = default;
    // Sends a message to the host window and returns its answer; a null window
    // gets no message and the answer is 0.
    virtual std::intptr_t SendToHost(HostWindowHandle window, std::uint32_t message,
                                     std::uintptr_t wparam, std::intptr_t lparam) = 0;
};

enum class MessageIcon { None, Stop };

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // A modal message box with an OK button and no owner window.
    virtual void Show(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
};

struct ServiceSet {
    Clock* clock = nullptr;
    ProfileStore* profiles = nullptr;
    HostLink* host = nullptr;
    MessageBoxService* messageBox = nullptr;
    ComponentFactory* components = nullptr;
    DialogService* dialogs = nullptr;
};

// The platform's own services (defined once per platform layer).
ServiceSet DefaultServices();

// The code page of the host's texts, as it stands now (defined once per platform
// layer; see text/code_page.h): on Linux that of the host's LC_CTYPE locale.
text::CodePage HostAnsiCodePage();

// The services in force: the platform's own unless a test installed others.
const ServiceSet& Services();

// Installs a service set for the lifetime of the object (tests); members left null
// keep the platform's own service.
class ScopedServices {
public:
    explicit ScopedServices(const ServiceSet& replacement);
    ~ScopedServices();
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    ServiceSet previous_;
};

}  // namespace vardel::platform

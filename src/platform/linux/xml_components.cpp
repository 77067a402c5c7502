// The Linux layer's component factory and its HTTP request component.
#include "platform/components.h"
#include "platform/linux/http_client.h"
#include "platform/linux/libxml_layer.h"
#include "platform/linux/linux_layer.h"
#include "text/code_page.h"

namespace vardel::platform::linux_layer {
namespace {

bool Begins(std::string_view body, std::initializer_list<unsigned char> bytes) {
    if (body.size() < bytes.size()) return false;
    std::size_t i = 0;
    for (unsigned char b : bytes)
        if (static_cast<unsigned char>(body[i++]) != b) return false;
    return true;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units += static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    if (i < bytes.size()) units += u'\xFFFD';  // an odd byte at the end
    return units;
}

std::u16string DecodeUtf32(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 4 + 1);
    std::size_t i = 0;
    for (; i + 3 < bytes.size(); i += 4) {
        char32_t cp = 0;
        for (int k = 0; k < 4; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(bigEndian ? k : 3 - k)]);
            cp = (cp << 8) | b;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            units += u'\xFFFD';
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (cp >> 10));
            units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
    }
    if (i < bytes.size()) units += u'\xFFFD';
    return units;
}

// Methods the component knows are sent in capitals ("Get" goes out as GET);
// others as given.
std::string MethodToSend(std::string_view method) {
    std::string upper(method);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const char* known : {"GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS", "TRACE", "PATCH"})
        if (upper == known) return upper;
    return std::string(method);
}

// A header line as the HTTP module takes it; empty when name or value could
// smuggle in another line.
std::string HeaderLine(std::string_view name, std::string_view value) {
    if (name.empty()) return {};
    for (char c : name)
        if (c == ':' || c == '\r' || c == '\n' || c == '\0' || c == ' ' || c == '\t') return {};
    for (char c : value)
        if (c == '\r' || c == '\n' || c == '\0') return {};
    // "Name;" is the transport's way of sending a header with an empty value.
    if (value.empty()) return std::string(name) + ";";
    return std::string(name) + ": " + std::string(value);
}

class LayerHttpRequest final : public platform::HttpRequest {
public:
    // Requests are always synchronous: SEND returns with the whole response.
    void Open(std::string_view method, std::string_view url, bool /*async*/) override {
        request_ = HttpTransferRequest{};
        request_.method = MethodToSend(method);
        request_.url = text::AnsiCodePage().ToUtf8(url);
        opened_ = true;
        responseText_.clear();
    }

    void SetRequestHeader(std::string_view name, std::string_view value) override {
        if (!opened_) return;
        std::string line = HeaderLine(name, value);
        if (!line.empty()) request_.headerLines.push_back(std::move(line));
    }

    void Send() override {
        responseText_.clear();
        if (!opened_) return;
        std::string body;
        const HttpTransferOutcome outcome = HttpTransfer(request_, [&body](long, std::string_view bytes) {
            body.append(bytes);
            return true;
        });
        // A failed request leaves no response text.
        if (outcome.completed) responseText_ = ResponseBodyToAnsi(body);
    }

    std::string ResponseText() override { return responseText_; }

private:
    HttpTransferRequest request_;
    bool opened_ = false;
    std::string responseText_;
};

class LinuxComponents final : public platform::ComponentFactory {
public:
    platform::DocumentRef CreateXmlDocument() override { return NewXmlDocument(); }
    std::unique_ptr<platform::HttpRequest> CreateHttpRequest() override {
        return std::make_unique<LayerHttpRequest>();
    }
    void LimitNetworkTime(std::uint32_t milliseconds) override { linux_layer::LimitNetworkTime(milliseconds); }
};

}  // namespace

std::string ResponseBodyToAnsi(std::string_view body) {
    const text::CodePage& page = text::AnsiCodePage();
    if (Begins(body, {0xFF, 0xFE, 0x00, 0x00})) return page.FromUtf16(DecodeUtf32(body.substr(4), false));
    if (Begins(body, {0x00, 0x00, 0xFE, 0xFF})) return page.FromUtf16(DecodeUtf32(body.substr(4), true));
    if (Begins(body, {0xFF, 0xFE})) return page.FromUtf16(DecodeUtf16(body.substr(2), false));
    if (Begins(body, {0xFE, 0xFF})) return page.FromUtf16(DecodeUtf16(body.substr(2), true));
    if (Begins(body, {0xEF, 0xBB, 0xBF})) body.remove_prefix(3);
    return page.FromUtf8(body);
}

platform::ComponentFactory& XmlHttpComponents() {
    static auto& components = *new LinuxComponents;
    return components;
}

}  // namespace vardel::platform::linux_layer

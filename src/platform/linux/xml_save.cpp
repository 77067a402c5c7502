// SAVE: the document's XML in the encoding its declaration names, so that a feed
// copy reads back as it was (Windows-1252 bytes under a windows-1252 label, UTF-16
// with a byte order mark under utf-16, UTF-8 without a declaration).
#include <libxml/encoding.h>
#include <libxml/xmlsave.h>

#include "platform/linux/libxml_layer.h"
#include "text/unicode.h"

namespace vardel::platform::linux_layer {
namespace {

// ASCII letters only, whatever the locale.
std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool IsUtf16Label(const std::string& lower) {
    return lower == "utf-16" || lower == "utf-16le" || lower == "utf-16be" || lower == "ucs-2" ||
           lower == "unicode" || lower == "iso-10646-ucs-2";
}

// The document after its declaration, in the encoding libxml2 knows by that label
// (characters it lacks become character references).
std::string DocumentBody(xmlDocPtr doc, const char* encoding) {
    xmlBufferPtr buffer = xmlBufferCreate();
    if (!buffer) return {};
    std::string out;
    if (xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, encoding, XML_SAVE_NO_DECL | XML_SAVE_AS_XML)) {
        xmlSaveDoc(save, doc);
        xmlSaveClose(save);
        out.assign(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                   static_cast<std::size_t>(xmlBufferLength(buffer)));
    }
    xmlBufferFree(buffer);
    return out;
}

std::string Utf16Bytes(std::string_view utf8, bool bigEndian) {
    const std::u16string units = text::Utf8ToUtf16(utf8);
    std::string out;
    out.reserve(2 + units.size() * 2);
    const auto put = [&](char16_t u) {
        const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    put(0xFEFF);
    for (char16_t u : units) put(u);
    return out;
}

}  // namespace

std::string SerializeDocument(xmlDocPtr doc, const std::string& declaration,
                              const std::string& declaredEncoding) {
    if (!doc) return {};
    const std::string prefix = declaration.empty() ? std::string() : declaration + "\r\n";
    const std::string label = Lower(declaredEncoding);
    if (IsUtf16Label(label)) return Utf16Bytes(prefix + DocumentBody(doc, "UTF-8"), label == "utf-16be");
    if (label.empty() || label == "utf-8" || label == "utf8") return prefix + DocumentBody(doc, "UTF-8");
    // Single-byte and other ASCII-compatible encodings: the declaration is ASCII.
    std::string body = DocumentBody(doc, declaredEncoding.c_str());
    // A label libxml2 cannot encode (a document only parses under labels it
    // knows, so this is a safeguard): UTF-8 rather than nothing.
    if (body.empty()) body = DocumentBody(doc, "UTF-8");
    return prefix + body;
}

}  // namespace vardel::platform::linux_layer

// Late-bound calls on automation objects: members looked up by name through
// IDispatch (GetIDsOfNames, then Invoke), arguments and results as VARIANTs.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace vardel::platform::windows_layer {

// A counted reference to an automation object: copies share it, the last one
// releases it.
using DispatchRef = std::shared_ptr<IDispatch>;

// Takes over one reference that the caller holds (null stays null).
DispatchRef AdoptDispatch(IDispatch* object);

// Initialises COM on the calling thread once, apartment-threaded. A thread that
// already runs COM in another mode keeps it (RPC_E_CHANGED_MODE is fine). COM is
// never uninitialised here: the library may be released from DllMain, where that
// is forbidden, and the thread belongs to the host.
void EnsureComOnThisThread();

// Creates an in-process automation component by ProgID; null when the ProgID is
// not registered or the component cannot be created.
DispatchRef CreateByProgId(const wchar_t* progId);

// One argument of a call: a number (VT_R8) or a text (VT_BSTR).
class Arg {
public:
    Arg(double number) : number_(number), isText_(false) {}       // NOLINT: implicit on purpose
    Arg(std::wstring_view text) : text_(text), isText_(true) {}   // NOLINT: implicit on purpose
    Arg(const wchar_t* text) : Arg(std::wstring_view(text)) {}    // NOLINT: implicit on purpose
    Arg(const std::wstring& text) : Arg(std::wstring_view(text)) {}  // NOLINT: implicit on purpose

    // Fills an empty VARIANT; a text is copied into a fresh BSTR.
    void Fill(VARIANT& target) const;

private:
    double number_ = 0.0;
    std::wstring_view text_;
    bool isText_;
};

// An owned VARIANT, cleared when it goes.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* Out() { VariantClear(&value_); return &value_; }
    const VARIANT& Get() const { return value_; }
    VARTYPE Type() const { return V_VT(&value_); }

private:
    VARIANT value_;
};

// The outcome of one call: its HRESULT and, when it succeeded, its result.
struct CallResult {
    HRESULT status = E_FAIL;
    Variant value;

    bool Succeeded() const { return SUCCEEDED(status); }
    // Readers of the result. A failed call and a VT_NULL or VT_EMPTY result give
    // null, the empty text, 0 or false; other types are converted where they can be.
    DispatchRef AsObject() const;
    std::wstring AsText() const;
    std::int32_t AsInteger() const;
    bool AsBool() const;
};

// Calls a method or reads a property (with arguments, for indexed properties),
// arguments given left to right. A null object gives a failed result.
CallResult Call(IDispatch* object, const wchar_t* member, std::initializer_list<Arg> args = {});

// Sets a property.
HRESULT Put(IDispatch* object, const wchar_t* member, const Arg& value);

}  // namespace vardel::platform::windows_layer

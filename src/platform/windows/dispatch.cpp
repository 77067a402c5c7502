#include "platform/windows/dispatch.h"

#include <objbase.h>

#include <utility>
#include <vector>

namespace vardel::platform::windows_layer {
namespace {

// VARIANTs handed to Invoke, cleared afterwards.
class ArgumentBlock {
public:
    // DISPPARAMS wants the arguments right to left.
    explicit ArgumentBlock(std::initializer_list<Arg> args) : values_(args.size()) {
        std::size_t slot = args.size();
        for (const Arg& arg : args) {
            VariantInit(&values_[--slot]);
            arg.Fill(values_[slot]);
        }
    }
    ~ArgumentBlock() {
        for (VARIANT& v : values_) VariantClear(&v);
    }
    ArgumentBlock(const ArgumentBlock&) = delete;
    ArgumentBlock& operator=(const ArgumentBlock&) = delete;

    VARIANT* Data() { return values_.empty() ? nullptr : values_.data(); }
    UINT Count() const { return static_cast<UINT>(values_.size()); }

private:
    std::vector<VARIANT> values_;
};

// The texts a failing member fills in belong to the caller (a deferred fill-in
// has not filled them yet and is not asked to).
void ReleaseExceptionInfo(EXCEPINFO& info) {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
}

HRESULT MemberId(IDispatch* object, const wchar_t* member, DISPID& id) {
    LPOLESTR name = const_cast<LPOLESTR>(member);
    return object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
}

// A copy of the result converted to the wanted type; false when it cannot be.
bool ConvertedCopy(const Variant& value, VARTYPE type, Variant& converted) {
    // The source is only read; the API merely lacks the const.
    return SUCCEEDED(VariantChangeType(converted.Out(), const_cast<VARIANT*>(&value.Get()), 0, type));
}

bool IsNothing(const CallResult& r) {
    return !r.Succeeded() || r.value.Type() == VT_NULL || r.value.Type() == VT_EMPTY;
}

}  // namespace

DispatchRef AdoptDispatch(IDispatch* object) {
    if (!object) return nullptr;
    return DispatchRef(object, [](IDispatch* o) { o->Release(); });
}

void EnsureComOnThisThread() {
    thread_local bool ready = false;
    if (ready) return;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // S_OK and S_FALSE: the apartment is ours to use. RPC_E_CHANGED_MODE: the
    // thread is already in the multithreaded apartment, where the components
    // work as well. Any other failure is tried again on the next call.
    ready = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
}

DispatchRef CreateByProgId(const wchar_t* progId) {
    EnsureComOnThisThread();
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(progId, &clsid))) return nullptr;
    IDispatch* object = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&object))))
        return nullptr;
    return AdoptDispatch(object);
}

void Arg::Fill(VARIANT& target) const {
    if (isText_) {
        V_VT(&target) = VT_BSTR;
        V_BSTR(&target) = SysAllocStringLen(text_.data(), static_cast<UINT>(text_.size()));
    } else {
        V_VT(&target) = VT_R8;
        V_R8(&target) = number_;
    }
}

Variant::Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&value_);
        value_ = other.value_;
        VariantInit(&other.value_);
    }
    return *this;
}

DispatchRef CallResult::AsObject() const {
    if (IsNothing(*this)) return nullptr;
    if (value.Type() != VT_DISPATCH && value.Type() != VT_UNKNOWN) return nullptr;
    IUnknown* unknown = value.Type() == VT_DISPATCH ? V_DISPATCH(&value.Get()) : V_UNKNOWN(&value.Get());
    if (!unknown) return nullptr;
    IDispatch* object = nullptr;
    if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object)))) return nullptr;
    return AdoptDispatch(object);
}

std::wstring CallResult::AsText() const {
    if (IsNothing(*this)) return {};
    if (value.Type() == VT_BSTR) {
        const BSTR text = V_BSTR(&value.Get());
        return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    }
    Variant converted;
    if (!ConvertedCopy(value, VT_BSTR, converted) || !V_BSTR(&converted.Get())) return {};
    return std::wstring(V_BSTR(&converted.Get()), SysStringLen(V_BSTR(&converted.Get())));
}

std::int32_t CallResult::AsInteger() const {
    if (IsNothing(*this)) return 0;
    Variant converted;
    if (!ConvertedCopy(value, VT_I4, converted)) return 0;
    return V_I4(&converted.Get());
}

bool CallResult::AsBool() const {
    if (IsNothing(*this)) return false;
    Variant converted;
    if (!ConvertedCopy(value, VT_BOOL, converted)) return false;
    return V_BOOL(&converted.Get()) != VARIANT_FALSE;
}

CallResult Call(IDispatch* object, const wchar_t* member, std::initializer_list<Arg> args) {
    CallResult result;
    if (!object) {
        result.status = E_POINTER;
        return result;
    }
    DISPID id = DISPID_UNKNOWN;
    result.status = MemberId(object, member, id);
    if (FAILED(result.status)) return result;

    ArgumentBlock arguments(args);
    DISPPARAMS params{arguments.Data(), nullptr, arguments.Count(), 0};
    EXCEPINFO info{};
    UINT badArgument = 0;
    // A late-bound call with a result: the member may be a method or a property.
    result.status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                   result.value.Out(), &info, &badArgument);
    ReleaseExceptionInfo(info);
    if (FAILED(result.status)) result.value.Out();  // a failed call yields nothing
    return result;
}

HRESULT Put(IDispatch* object, const wchar_t* member, const Arg& value) {
    if (!object) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = MemberId(object, member, id);
    if (FAILED(hr)) return hr;

    ArgumentBlock arguments({value});
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{arguments.Data(), &named, 1, 1};
    EXCEPINFO info{};
    UINT badArgument = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                        &info, &badArgument);
    ReleaseExceptionInfo(info);
    return hr;
}

}  // namespace vardel::platform::windows_layer

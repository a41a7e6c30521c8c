#pragma once
// Owners for the automation values that the XML DOM takes and gives: BSTR texts and VARIANTs.

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <utility>

namespace scup {

// Owns one BSTR. A text that cannot be allocated throws std::bad_alloc, as any other string of
// the program does when memory runs out.
class XmlBstr {
public:
    XmlBstr() noexcept = default;
    explicit XmlBstr(const std::wstring& text)
        : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!value_) throw std::bad_alloc();
    }
    XmlBstr(const XmlBstr&) = delete;
    XmlBstr& operator=(const XmlBstr&) = delete;
    XmlBstr(XmlBstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    XmlBstr& operator=(XmlBstr&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, nullptr);
        }
        return *this;
    }
    ~XmlBstr() { reset(); }

    BSTR get() const noexcept { return value_; }
    // For out-parameters: frees what is held first.
    BSTR* put() noexcept {
        reset();
        return &value_;
    }
    BSTR release() noexcept { return std::exchange(value_, nullptr); }
    // A null BSTR is the empty text in automation.
    std::wstring str() const { return value_ ? std::wstring(value_, ::SysStringLen(value_)) : std::wstring(); }

private:
    void reset() noexcept {
        if (value_) ::SysFreeString(std::exchange(value_, nullptr));
    }

    BSTR value_ = nullptr;
};

// Owns one VARIANT and clears it at the end.
class XmlVariant {
public:
    XmlVariant() noexcept { ::VariantInit(&value_); }
    XmlVariant(const XmlVariant&) = delete;
    XmlVariant& operator=(const XmlVariant&) = delete;
    ~XmlVariant() { ::VariantClear(&value_); }

    static XmlVariant Text(const std::wstring& text) {
        XmlVariant v;
        v.value_.bstrVal = XmlBstr(text).release();
        v.value_.vt = VT_BSTR;
        return v;
    }
    static XmlVariant Bool(bool flag) noexcept {
        XmlVariant v;
        v.value_.vt = VT_BOOL;
        v.value_.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }

    // The DOM takes VARIANTs by value without taking ownership.
    const VARIANT& get() const noexcept { return value_; }
    VARIANT* put() noexcept {
        ::VariantClear(&value_);
        return &value_;
    }

private:
    XmlVariant(XmlVariant&& other) noexcept : value_(other.value_) { ::VariantInit(&other.value_); }

    VARIANT value_;
};

}  // namespace scup

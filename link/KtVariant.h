#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(_WIN32)

#include <cstring>
#include <oaidl.h>
#include <oleauto.h>

// On Windows the value is the platform's own VARIANT, so that callers can include <windows.h>
// beside this header and hand the value to anything that takes a VARIANT. It is either empty or
// a one-dimensional SAFEARRAY of bytes with lower bound 0. Block operations of the link hand their
// results back in one; the caller owns it and clears it (VariantClear, Clear, or its destructor).
struct KtVariant : VARIANT {
    KtVariant() { ::VariantInit(this); }
    KtVariant(const KtVariant& other) {
        ::VariantInit(this);
        ::VariantCopy(this, Source(other));
    }
    KtVariant(KtVariant&& other) noexcept {
        *static_cast<VARIANT*>(this) = other;
        ::VariantInit(&other);
    }
    KtVariant& operator=(const KtVariant& other) {
        if (this != &other) {
            ::VariantCopy(this, Source(other));
        }
        return *this;
    }
    KtVariant& operator=(KtVariant&& other) noexcept {
        if (this != &other) {
            ::VariantClear(this);
            *static_cast<VARIANT*>(this) = other;
            ::VariantInit(&other);
        }
        return *this;
    }
    ~KtVariant() { ::VariantClear(this); }

    // Empty when the array cannot be made.
    static KtVariant FromBytes(const std::uint8_t* data, std::size_t count) {
        KtVariant v;
        SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
        if (array == nullptr) {
            return v;
        }
        if (count > 0) {
            std::memcpy(array->pvData, data, count);
        }
        v.vt = VT_ARRAY | VT_UI1;
        v.parray = array;
        return v;
    }
    static KtVariant FromBytes(const std::vector<std::uint8_t>& bytes) {
        return FromBytes(bytes.data(), bytes.size());
    }

    bool IsEmpty() const { return vt == VT_EMPTY; }
    bool IsByteArray() const { return vt == (VT_ARRAY | VT_UI1) && parray != nullptr; }
    std::size_t Count() const { return IsByteArray() ? parray->rgsabound[0].cElements : 0; }
    const std::uint8_t* Data() const {
        return IsByteArray() ? static_cast<const std::uint8_t*>(parray->pvData) : nullptr;
    }

    void Clear() { ::VariantClear(this); }

private:
    // VariantCopy only reads its source; some SDK headers declare it without const.
    static VARIANT* Source(const KtVariant& v) {
        return const_cast<VARIANT*>(static_cast<const VARIANT*>(&v));
    }
};

#else

// Type codes carried by KtVariant, numbered as OLE Automation numbers them so that values
// written by other tools keep their meaning.
enum KtVarType : std::uint16_t {
    VT_EMPTY = 0x0000,
    VT_UI1 = 0x0011,
    VT_ARRAY = 0x2000,
};

// A tagged value that is either empty or a one-dimensional byte array with lower bound 0.
// Block operations of the link hand their results back in one; the caller owns it and clears it.
struct KtVariant {
    std::uint16_t vt = VT_EMPTY;
    std::vector<std::uint8_t> parray;

    static KtVariant FromBytes(const std::uint8_t* data, std::size_t count) {
        KtVariant v;
        v.vt = VT_ARRAY | VT_UI1;
        v.parray.assign(data, data + count);
        return v;
    }
    static KtVariant FromBytes(const std::vector<std::uint8_t>& bytes) {
        return FromBytes(bytes.data(), bytes.size());
    }

    bool IsEmpty() const { return vt == VT_EMPTY; }
    bool IsByteArray() const { return vt == (VT_ARRAY | VT_UI1); }
    std::size_t Count() const { return parray.size(); }
    const std::uint8_t* Data() const { return parray.data(); }

    void Clear() {
        vt = VT_EMPTY;
        std::vector<std::uint8_t>().swap(parray);
    }
};

#endif

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

#include "PortNames.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace ktcom {

bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie]))) {
                ++ie;
            }
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je]))) {
                ++je;
            }
            // Compare the numbers by value: strip leading zeros, then length, then digits.
            std::string_view na(a.data() + i, ie - i);
            std::string_view nb(b.data() + j, je - j);
            na.remove_prefix(std::min(na.find_first_not_of('0'), na.size()));
            nb.remove_prefix(std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) {
                return a[i] < b[j];
            }
            ++i;
            ++j;
        }
    }
    return (a.size() - i) < (b.size() - j);
}

std::string UpperAscii(std::string name) {
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return name;
}

} // namespace ktcom

#include "ConnectionString.h"

#include "DbError.h"

#include <cctype>

namespace kdb {

namespace {

std::string Trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool SameKey(const std::string& key, const char* name) {
    std::size_t i = 0;
    for (; i < key.size() && name[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(key[i])) !=
            std::tolower(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return i == key.size() && name[i] == '\0';
}

// A data source may come quoted by hand; the program's own string never quotes it.
std::string Unquote(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

} // namespace

ConnectionSettings ParseConnectionString(const std::string& text) {
    ConnectionSettings settings;
    bool haveSource = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        if (equals == std::string::npos) {
            break;
        }
        const std::size_t semicolon = text.find(';', pos);
        if (semicolon < equals) {
            pos = semicolon + 1; // a segment without a value
            continue;
        }
        const std::string key = Trim(text.substr(pos, equals - pos));
        if (SameKey(key, "Data Source")) {
            // The path runs to the end: it may hold blanks and semicolons of its own.
            settings.dataSource = Unquote(text.substr(equals + 1));
            haveSource = true;
            break;
        }
        std::size_t end = text.find(';', equals + 1);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string value = text.substr(equals + 1, end - equals - 1);
        if (SameKey(key, "Provider")) {
            settings.provider = Trim(value);
        } else if (SameKey(key, "Jet OLEDB:Database Password")) {
            settings.password = value;
        }
        pos = end + 1;
    }
    if (!haveSource) {
        throw CDbError(DB_E_CONNECTION_STRING,
                       "The connection string names no data source (\"Data Source=\").");
    }
    return settings;
}

} // namespace kdb

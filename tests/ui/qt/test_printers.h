// Short failure messages for Qt strings and unpacked file lists.
#pragma once

#include <QString>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace pomu::test {

// File names with their sizes, instead of every byte.
inline std::string describe(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string text;
    for (const auto& [name, bytes] : files)
        text += name + " (" + std::to_string(bytes.size()) + ") ";
    return text;
}

}  // namespace pomu::test

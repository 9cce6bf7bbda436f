// Formatting and printing the result line.
#include "report.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pomu::bench {
namespace {

bool needsQuotes(std::string_view value) {
    if (value.empty()) return true;
    for (char c : value) {
        if (c == ' ' || c == '"' || c == '\\' || c == '=' || static_cast<unsigned char>(c) < 0x20) {
            return true;
        }
    }
    return false;
}

std::string quoted(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string utf8(NativeView text) {
#ifdef _WIN32
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(std::size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
#else
    return std::string(text);
#endif
}

ReportLine::ReportLine(std::string_view command) {
    text("command", command);
}

ReportLine& ReportLine::text(std::string_view key, std::string_view value) {
    if (!line_.empty()) line_ += ' ';
    line_ += key;
    line_ += '=';
    line_ += needsQuotes(value) ? quoted(value) : std::string(value);
    return *this;
}

ReportLine& ReportLine::number(std::string_view key, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    return text(key, buffer);
}

ReportLine& ReportLine::count(std::string_view key, long long value) {
    return text(key, std::to_string(value));
}

ReportLine& ReportLine::cpu(const CpuTime& time) {
    return number("cpu_ms", time.totalMs())
        .number("cpu_user_ms", time.userMs)
        .number("cpu_sys_ms", time.systemMs);
}

void ReportLine::print() const {
    std::fputs(line_.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace pomu::bench

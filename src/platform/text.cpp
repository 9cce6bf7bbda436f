// Number formatting, UTF-8 conversion and cutting a tool's output to its latest bytes.
#include "platform/text.h"

namespace pomu {

NativeString toNative(long long number) {
    const std::string digits = std::to_string(number);
    return NativeString(digits.begin(), digits.end());
}

#ifdef _WIN32
std::string toUtf8(NativeView text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

NativeString fromUtf8(std::string_view text) {
    NativeString out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80                   ? 1
                           : lead >= 0xF0 && lead < 0xF5 ? 4
                           : lead >= 0xE0                ? 3
                           : lead >= 0xC2 && lead < 0xE0 ? 2
                                                         : 0;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        bool valid = length > 0 && i + std::size_t(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + std::size_t(k)]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (!valid || (length > 1 && c < smallest) || (c >= 0xD800 && c <= 0xDFFF) ||
            c > 0x10FFFF) {
            out += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        i += std::size_t(length);
        if (c >= 0x10000) {
            out += wchar_t(0xD800 + ((c - 0x10000) >> 10));
            out += wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += wchar_t(c);
        }
    }
    return out;
}
#else
std::string toUtf8(NativeView text) {
    return std::string(text);
}

NativeString fromUtf8(std::string_view text) {
    return NativeString(text);
}
#endif

void keepLatestOutput(std::string& text, std::size_t limit) {
    if (text.size() <= limit) return;
    text.erase(0, text.size() - limit);
    const std::size_t lineEnd = text.find_first_of("\b\r\n");
    text.erase(0, lineEnd == std::string::npos ? text.size() : lineEnd + 1);
}

}  // namespace pomu

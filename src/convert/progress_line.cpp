// The progress line parser: 7-Zip rewrites its line with '\b' (Linux) or '\r' (Windows).
#include "convert/progress_line.h"

namespace pomu {
namespace {

constexpr std::string_view kLineEnds = "\b\r\n";

std::optional<int> percentOf(std::string_view piece) {
    std::size_t at = piece.find_first_not_of(' ');
    if (at == std::string_view::npos) return std::nullopt;
    int value = 0;
    std::size_t digits = 0;
    for (; at < piece.size() && piece[at] >= '0' && piece[at] <= '9'; ++at, ++digits) {
        value = value * 10 + (piece[at] - '0');
        if (value > 100) return std::nullopt;
    }
    if (digits == 0 || at >= piece.size() || piece[at] != '%') return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> latestPercent(std::string_view output) {
    std::size_t end = output.size();
    while (end > 0) {
        const std::size_t before = output.find_last_of(kLineEnds, end - 1);
        const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
        if (std::optional<int> percent = percentOf(output.substr(start, end - start))) {
            return percent;
        }
        if (before == std::string_view::npos) break;
        end = before;
    }
    return std::nullopt;
}

}  // namespace pomu

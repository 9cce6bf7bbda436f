// The one machine-readable line each sub-command prints: key=value pairs.
#pragma once

#include <string>
#include <string_view>

#include "clock.h"
#include "platform/text.h"

namespace pomu::bench {

// UTF-8 text of a native string, for printing.
std::string utf8(NativeView text);

class ReportLine {
  public:
    explicit ReportLine(std::string_view command);
    // Text values are quoted when they hold blanks, quotes or line breaks.
    ReportLine& text(std::string_view key, std::string_view value);
    ReportLine& number(std::string_view key, double value);
    ReportLine& count(std::string_view key, long long value);
    // cpu_ms, cpu_user_ms, cpu_sys_ms.
    ReportLine& cpu(const CpuTime& time);
    // Writes the line to standard output and flushes it.
    void print() const;

  private:
    std::string line_;
};

}  // namespace pomu::bench

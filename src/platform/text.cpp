// Number formatting for native strings.
#include "platform/text.h"

namespace pomu {

NativeString toNative(long long number) {
    const std::string digits = std::to_string(number);
    return NativeString(digits.begin(), digits.end());
}

}  // namespace pomu

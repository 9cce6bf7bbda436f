// Holding a password's bytes and zeroing them when they go.
#include "convert/secret.h"

#include <algorithm>

namespace pomu {

void wipe(void* data, std::size_t size) {
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

Secret::Secret(std::string_view bytes)
    : data_(std::make_unique<char[]>(bytes.size() + 1)), size_(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), data_.get());
}

Secret::Secret(Secret&& other) noexcept : data_(std::move(other.data_)), size_(other.size_) {
    other.size_ = 0;
}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        clear();
        data_ = std::move(other.data_);
        size_ = other.size_;
        other.size_ = 0;
    }
    return *this;
}

Secret::~Secret() {
    clear();
}

void Secret::clear() {
    if (data_) wipe(data_.get(), size_);
    data_.reset();
    size_ = 0;
}

Secret Secret::lines(int count) const {
    Secret text;
    text.size_ = (size_ + 1) * std::size_t(std::max(count, 0));
    text.data_ = std::make_unique<char[]>(text.size_ + 1);
    char* at = text.data_.get();
    for (int line = 0; line < count; ++line) {
        at = std::copy(data_.get(), data_.get() + size_, at);
        *at++ = '\n';
    }
    return text;
}

}  // namespace pomu

// A password held in memory only: its own buffer, zeroed when it goes.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace pomu {

// Zeroes the bytes in a way the compiler cannot leave out as a dead store.
void wipe(void* data, std::size_t size);

// UTF-8 bytes in a buffer of their own. Move-only, so no copy outlives it; zeroed when
// destroyed or replaced.
class Secret {
  public:
    Secret() = default;
    explicit Secret(std::string_view bytes);
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret();

    std::string_view bytes() const { return {data_.get(), size_}; }
    // The password on `count` lines, as 7-Zip reads it: once to open an archive, twice (the
    // second time to confirm) to make one.
    Secret lines(int count) const;

  private:
    void clear();
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

}  // namespace pomu

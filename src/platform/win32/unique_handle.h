// Move-only owners of Windows handles, one alias per kind of handle.
#pragma once

#include <windows.h>

#include <utility>

namespace pomu::platform::win32 {

// Traits give the raw type, the value meaning "none" and how to release a handle.
template <typename Traits>
class UniqueHandle {
  public:
    using Raw = typename Traits::Raw;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Raw raw) noexcept : raw_(raw) {}
    UniqueHandle(UniqueHandle&& other) noexcept : raw_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            raw_ = other.release();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    bool valid() const noexcept { return Traits::isValid(raw_); }
    Raw get() const noexcept { return raw_; }
    Raw release() noexcept { return std::exchange(raw_, Traits::none()); }
    void reset() noexcept {
        if (valid()) Traits::close(raw_);
        raw_ = Traits::none();
    }

  private:
    Raw raw_ = Traits::none();
};

// Kernel objects: files, processes, threads. Both null and INVALID_HANDLE_VALUE mean none.
struct KernelHandleTraits {
    using Raw = HANDLE;
    static Raw none() noexcept { return nullptr; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr && raw != INVALID_HANDLE_VALUE; }
    static void close(Raw raw) noexcept { CloseHandle(raw); }
};

struct FindHandleTraits {
    using Raw = HANDLE;
    static Raw none() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr && raw != INVALID_HANDLE_VALUE; }
    static void close(Raw raw) noexcept { FindClose(raw); }
};

struct MenuHandleTraits {
    using Raw = HMENU;
    static Raw none() noexcept { return nullptr; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr; }
    static void close(Raw raw) noexcept { DestroyMenu(raw); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using MenuHandle = UniqueHandle<MenuHandleTraits>;

}  // namespace pomu::platform::win32

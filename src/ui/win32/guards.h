// Move-only owners of the window's drops, item lists, accelerators, icons, registry keys and COM.
#pragma once

// windows.h first: the shell headers build on it.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <utility>

#include "platform/win32/unique_handle.h"

namespace pomu::ui {

using platform::win32::MenuHandle;
using platform::win32::UniqueHandle;

struct DropTraits {
    using Raw = HDROP;
    static Raw none() noexcept { return nullptr; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr; }
    static void close(Raw raw) noexcept { DragFinish(raw); }
};

// The folder chooser's result, allocated by the shell with the COM task allocator.
struct ItemListTraits {
    using Raw = PIDLIST_ABSOLUTE;
    static Raw none() noexcept { return nullptr; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr; }
    static void close(Raw raw) noexcept { CoTaskMemFree(raw); }
};

struct AcceleratorTraits {
    using Raw = HACCEL;
    static Raw none() noexcept { return nullptr; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr; }
    static void close(Raw raw) noexcept { DestroyAcceleratorTable(raw); }
};

struct IconTraits {
    using Raw = HICON;
    static Raw none() noexcept { return nullptr; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr; }
    static void close(Raw raw) noexcept { DestroyIcon(raw); }
};

struct RegistryKeyTraits {
    using Raw = HKEY;
    static Raw none() noexcept { return nullptr; }
    static bool isValid(Raw raw) noexcept { return raw != nullptr; }
    static void close(Raw raw) noexcept { RegCloseKey(raw); }
};

using DropHandle = UniqueHandle<DropTraits>;
using ItemList = UniqueHandle<ItemListTraits>;
using AcceleratorTable = UniqueHandle<AcceleratorTraits>;
using IconHandle = UniqueHandle<IconTraits>;
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

// COM set up on this thread in the single-threaded apartment the folder chooser needs; undone
// only when this guard did set it up.
class ComApartment {
  public:
    ComApartment() noexcept
        : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComApartment(ComApartment&& other) noexcept
        : initialised_(std::exchange(other.initialised_, false)) {}
    ComApartment& operator=(ComApartment&& other) noexcept {
        if (this != &other) {
            release();
            initialised_ = std::exchange(other.initialised_, false);
        }
        return *this;
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { release(); }

    bool initialised() const noexcept { return initialised_; }

  private:
    void release() noexcept {
        if (std::exchange(initialised_, false)) CoUninitialize();
    }
    bool initialised_;
};

}  // namespace pomu::ui

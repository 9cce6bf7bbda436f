// The room left on a folder's drive, from GetDiskFreeSpaceExW and the drive's cluster size.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/long_path.h"

namespace pomu::platform {

std::optional<FreeSpace> freeSpace(NativeView folder) {
    const std::optional<NativeString> api = win32::apiPath(folder);
    if (!api) return std::nullopt;
    ULARGE_INTEGER available{}, total{};
    if (!GetDiskFreeSpaceExW(api->c_str(), &available, &total, nullptr)) return std::nullopt;
    FreeSpace space;
    space.bytes = available.QuadPart;
    space.total = total.QuadPart;
    space.blockSize = 4096;  // NTFS's usual cluster, when the drive does not tell its own
    wchar_t root[MAX_PATH + 1] = {};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetVolumePathNameW(api->c_str(), root, MAX_PATH + 1) &&
        GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster * bytesPerSector > 0) {
        space.blockSize = std::uint64_t(sectorsPerCluster) * bytesPerSector;
    }
    DWORD longest = 0;
    if (root[0] &&
        GetVolumeInformationW(root, nullptr, 0, nullptr, &longest, nullptr, nullptr, 0)) {
        space.longestName = longest;
    }
    return space;
}

}  // namespace pomu::platform

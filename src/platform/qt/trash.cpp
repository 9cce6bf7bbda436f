// Moving a path to the freedesktop.org Trash through GIO.
#include <gio/gio.h>

#include "platform/platform.h"
#include "platform/qt/posix_handles.h"

namespace pomu::platform {
namespace {

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};

}  // namespace

bool moveToTrash(NativeView path) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text) return false;
    // GIO only renames into a trash folder on the same filesystem and never copies or deletes,
    // so on failure the path stays where it was.
    const std::unique_ptr<GFile, GObjectDeleter> file(g_file_new_for_path(text->c_str()));
    GError* rawError = nullptr;
    const bool trashed = g_file_trash(file.get(), nullptr, &rawError);
    const std::unique_ptr<GError, GErrorDeleter> error(rawError);
    return trashed;
}

}  // namespace pomu::platform

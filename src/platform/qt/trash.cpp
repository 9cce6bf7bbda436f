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

// GIO's message names the whole path; the user is told about the file already.
NativeString reasonFor(const GError* error) {
    if (!error) return "the Trash refused it";
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED))
        return "no Trash on that drive";
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED)) return "not permitted";
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NO_SPACE)) return "no space left";
    return error->message;
}

}  // namespace

bool moveToTrash(NativeView path, NativeString* why) {
    const std::optional<std::string> text = posix::cPath(path);
    if (!text) return false;
    // GIO only renames into a trash folder on the same filesystem and never copies or deletes,
    // so on failure the path stays where it was.
    const std::unique_ptr<GFile, GObjectDeleter> file(g_file_new_for_path(text->c_str()));
    GError* rawError = nullptr;
    const bool trashed = g_file_trash(file.get(), nullptr, &rawError);
    const std::unique_ptr<GError, GErrorDeleter> error(rawError);
    if (!trashed && why) *why = reasonFor(error.get());
    return trashed;
}

}  // namespace pomu::platform

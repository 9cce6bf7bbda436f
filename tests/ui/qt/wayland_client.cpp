// The test client: plain libwayland with the protocols' generated code, its own event loop.
#include "wayland_client.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QUrl>
#include <cstring>
#include <functional>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-activation-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace pomu::test {
namespace {

constexpr int kWaitMs = 10000;
// The drag's own window: this size, at the layout's top left corner (the compositor's rule for
// its app id puts it there).
constexpr int kSide = 64;
constexpr char kDragAppId[] = "pomu-test-drag";
constexpr int kDragSteps = 10;

struct SourceWindow;

// A listener's slot for an event the client does not need: any signature, doing nothing.
struct Ignored {
    template <typename... A>
    using Function = void (*)(A...);
    template <typename... A>
    operator Function<A...>() const {
        return [](A...) {};
    }
};

}  // namespace

// The compositor's globals the client binds.
struct Globals {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    wl_data_device_manager* dataDevices = nullptr;
    xdg_wm_base* shell = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    xdg_activation_v1* activation = nullptr;

    // What a drag needs; the activation tokens are asked for only when there.
    bool complete() const { return compositor && shm && seat && dataDevices && shell && pointers; }
    void release() {
        if (activation) xdg_activation_v1_destroy(activation);
        if (pointers) zwlr_virtual_pointer_manager_v1_destroy(pointers);
        if (shell) xdg_wm_base_destroy(shell);
        if (dataDevices) wl_data_device_manager_destroy(dataDevices);
        if (seat) wl_seat_release(seat);
        if (shm) wl_shm_destroy(shm);
        if (compositor) wl_compositor_destroy(compositor);
    }
};

struct WaylandClient::State {
    QSize layout;
    QElapsedTimer clock;
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    Globals bound;
    // The virtual pointer it moves, and the seat's pointer it hears as any client does.
    zwlr_virtual_pointer_v1* pointer = nullptr;
    wl_pointer* seatPointer = nullptr;
    // What the seat's pointer last told this client.
    wl_surface* pointerOn = nullptr;
    uint32_t pressSerial = 0;
    // The drag's progress, as its source hears it.
    QByteArray uris;
    bool accepted = false, finished = false, cancelled = false;
    bool configured = false;
    QByteArray token;
    std::unique_ptr<SourceWindow> window;

    // Runs the client's events until done() holds or the time is up.
    bool waitFor(const std::function<bool()>& done, int ms = kWaitMs) {
        const QDeadlineTimer deadline(ms);
        for (;;) {
            if (wl_display_dispatch_pending(display) < 0) return false;
            if (done()) return true;
            if (deadline.hasExpired()) return false;
            while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
            wl_display_flush(display);
            pollfd connection{wl_display_get_fd(display), POLLIN, 0};
            if (::poll(&connection, 1, 20) > 0) {
                if (wl_display_read_events(display) < 0) return false;
            } else {
                wl_display_cancel_read(display);
            }
        }
    }
    void pump(int ms) {
        waitFor([] { return false; }, ms);
    }

    uint32_t now() const { return uint32_t(clock.elapsed()); }
    void moveTo(QPoint at) {
        zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), uint32_t(at.x()), uint32_t(at.y()),
                                                uint32_t(layout.width()),
                                                uint32_t(layout.height()));
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_flush(display);
    }
    void button(unsigned button, bool pressed) {
        zwlr_virtual_pointer_v1_button(
            pointer, now(), button,
            pressed ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_flush(display);
    }
};

namespace {

using State = WaylandClient::State;

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    State& s = *static_cast<State*>(data);
    const auto bind = [&](const wl_interface* type, uint32_t wanted) {
        return wl_registry_bind(registry, name, type, std::min(version, wanted));
    };
    const std::string_view is(interface);
    if (is == wl_compositor_interface.name) {
        s.bound.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (is == wl_shm_interface.name) {
        s.bound.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (is == wl_seat_interface.name && !s.bound.seat) {
        s.bound.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
    } else if (is == wl_data_device_manager_interface.name) {
        s.bound.dataDevices =
            static_cast<wl_data_device_manager*>(bind(&wl_data_device_manager_interface, 3));
    } else if (is == xdg_wm_base_interface.name) {
        s.bound.shell = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
    } else if (is == zwlr_virtual_pointer_manager_v1_interface.name) {
        s.bound.pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (is == xdg_activation_v1_interface.name) {
        s.bound.activation = static_cast<xdg_activation_v1*>(bind(&xdg_activation_v1_interface, 1));
    }
}
const wl_registry_listener kRegistry = {onGlobal, Ignored{}};

const xdg_wm_base_listener kShell = {
    [](void*, xdg_wm_base* shell, uint32_t serial) { xdg_wm_base_pong(shell, serial); }};

const wl_pointer_listener kPointer = {
    .enter = [](void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t,
                wl_fixed_t) { static_cast<State*>(data)->pointerOn = surface; },
    .leave = [](void* data, wl_pointer*, uint32_t,
                wl_surface*) { static_cast<State*>(data)->pointerOn = nullptr; },
    .motion = Ignored{},
    .button =
        [](void* data, wl_pointer*, uint32_t serial, uint32_t, uint32_t, uint32_t state) {
            if (state == WL_POINTER_BUTTON_STATE_PRESSED)
                static_cast<State*>(data)->pressSerial = serial;
        },
    .axis = Ignored{},
    .frame = Ignored{},
    .axis_source = Ignored{},
    .axis_stop = Ignored{},
    .axis_discrete = Ignored{},
    .axis_value120 = Ignored{},
};

// The virtual pointer gives the seat its pointer; this client listens to it as any client does.
const wl_seat_listener kSeat = {
    [](void* data, wl_seat* seat, uint32_t capabilities) {
        State& s = *static_cast<State*>(data);
        if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !s.seatPointer) {
            s.seatPointer = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(s.seatPointer, &kPointer, &s);
        }
    },
    Ignored{}};

const wl_data_source_listener kSource = {
    .target = [](void* data, wl_data_source*,
                 const char* type) { static_cast<State*>(data)->accepted = type != nullptr; },
    .send =
        [](void* data, wl_data_source*, const char*, int32_t fd) {
            const QByteArray& uris = static_cast<State*>(data)->uris;
            for (qsizetype done = 0; done < uris.size();) {
                const ssize_t n = ::write(fd, uris.constData() + done, size_t(uris.size() - done));
                if (n <= 0) break;
                done += n;
            }
            ::close(fd);
        },
    // The compositor also cancels a source whose drop has finished.
    .cancelled =
        [](void* data, wl_data_source*) {
            State& s = *static_cast<State*>(data);
            s.cancelled = !s.finished;
        },
    .dnd_drop_performed = Ignored{},
    .dnd_finished = [](void* data, wl_data_source*) { static_cast<State*>(data)->finished = true; },
    .action = Ignored{},
};

// The drag passes over this client's own window too: the offers it is shown are not taken.
const wl_data_device_listener kDevice = {
    .data_offer = [](void*, wl_data_device*,
                     wl_data_offer* offer) { wl_data_offer_destroy(offer); },
    .enter = Ignored{},
    .leave = Ignored{},
    .motion = Ignored{},
    .drop = Ignored{},
    .selection = Ignored{},
};

const xdg_surface_listener kSurface = {[](void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<State*>(data)->configured = true;
}};
const xdg_toplevel_listener kToplevel = {Ignored{}, Ignored{}, Ignored{}, Ignored{}};

const xdg_activation_token_v1_listener kToken = {
    [](void* data, xdg_activation_token_v1*, const char* token) {
        static_cast<State*>(data)->token = token;
    }};

// A white, fixed-size window: the compositor floats it.
struct SourceWindow {
    explicit SourceWindow(State& s) : s_(s) {
        surface = wl_compositor_create_surface(s.bound.compositor);
        shellSurface = xdg_wm_base_get_xdg_surface(s.bound.shell, surface);
        xdg_surface_add_listener(shellSurface, &kSurface, &s);
        toplevel = xdg_surface_get_toplevel(shellSurface);
        xdg_toplevel_add_listener(toplevel, &kToplevel, &s);
        xdg_toplevel_set_app_id(toplevel, kDragAppId);
        xdg_toplevel_set_min_size(toplevel, kSide, kSide);
        xdg_toplevel_set_max_size(toplevel, kSide, kSide);
        s.configured = false;
        wl_surface_commit(surface);
        if (!s.waitFor([&] { return s.configured; })) return;
        const int stride = kSide * 4, size = stride * kSide;
        const int fd = ::memfd_create(kDragAppId, MFD_CLOEXEC);
        if (fd < 0 || ::ftruncate(fd, size) != 0) return;
        void* pixels = ::mmap(nullptr, size_t(size), PROT_WRITE, MAP_SHARED, fd, 0);
        if (pixels != MAP_FAILED) {
            std::memset(pixels, 0xff, size_t(size));
            ::munmap(pixels, size_t(size));
        }
        wl_shm_pool* pool = wl_shm_create_pool(s.bound.shm, fd, size);
        buffer = wl_shm_pool_create_buffer(pool, 0, kSide, kSide, stride, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        ::close(fd);
        wl_surface_attach(surface, buffer, 0, 0);
        wl_surface_commit(surface);
        wl_display_roundtrip(s.display);
    }
    ~SourceWindow() {
        xdg_toplevel_destroy(toplevel);
        xdg_surface_destroy(shellSurface);
        wl_surface_destroy(surface);
        if (buffer) wl_buffer_destroy(buffer);
        wl_display_roundtrip(s_.display);
    }
    SourceWindow(const SourceWindow&) = delete;
    SourceWindow& operator=(const SourceWindow&) = delete;

    State& s_;
    wl_surface* surface = nullptr;
    xdg_surface* shellSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
};

}  // namespace

WaylandClient::WaylandClient(const QString& socket, QSize layout) : state_(new State) {
    State& s = *state_;
    s.layout = layout;
    s.clock.start();
    if (socket.isEmpty()) return;
    s.display = wl_display_connect(socket.toLocal8Bit().constData());
    if (!s.display) return;
    s.registry = wl_display_get_registry(s.display);
    wl_registry_add_listener(s.registry, &kRegistry, &s);
    wl_display_roundtrip(s.display);
    if (!s.bound.complete()) return;
    xdg_wm_base_add_listener(s.bound.shell, &kShell, &s);
    wl_seat_add_listener(s.bound.seat, &kSeat, &s);
    s.pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(s.bound.pointers, s.bound.seat);
    s.waitFor([&] { return s.seatPointer != nullptr; });
}

WaylandClient::~WaylandClient() {
    State& s = *state_;
    s.window.reset();
    if (!s.display) return;
    if (s.pointer) zwlr_virtual_pointer_v1_destroy(s.pointer);
    if (s.seatPointer) wl_pointer_release(s.seatPointer);
    s.bound.release();
    if (s.registry) wl_registry_destroy(s.registry);
    wl_display_roundtrip(s.display);
    wl_display_disconnect(s.display);
}

bool WaylandClient::connected() const {
    return state_->seatPointer != nullptr;
}

bool WaylandClient::click(QPoint at, unsigned button) {
    State& s = *state_;
    if (!connected()) return false;
    // As a hand does: the pointer comes to rest over the point before the button goes down. A
    // window that has just mapped is put under it only once sway applies the map, within its
    // transaction timeout (200 ms).
    s.moveTo(at);
    s.pump(300);
    s.button(button, true);
    s.pump(50);
    s.button(button, false);
    return wl_display_roundtrip(s.display) >= 0;
}

bool WaylandClient::dropFiles(QPoint at, const QStringList& files) {
    State& s = *state_;
    if (!connected()) return false;
    s.uris.clear();
    for (const QString& file : files) s.uris += QUrl::fromLocalFile(file).toEncoded() + "\r\n";
    s.accepted = s.finished = s.cancelled = false;
    const SourceWindow window(s);
    const QPoint start(kSide / 2, kSide / 2);
    s.moveTo(start);
    if (!s.waitFor([&] { return s.pointerOn == window.surface; })) return false;
    s.pressSerial = 0;
    s.button(BTN_LEFT, true);
    if (!s.waitFor([&] { return s.pressSerial != 0; })) return false;

    wl_data_source* source = wl_data_device_manager_create_data_source(s.bound.dataDevices);
    wl_data_source_add_listener(source, &kSource, &s);
    wl_data_source_offer(source, "text/uri-list");
    wl_data_source_set_actions(source, WL_DATA_DEVICE_MANAGER_DND_ACTION_COPY);
    wl_data_device* device =
        wl_data_device_manager_get_data_device(s.bound.dataDevices, s.bound.seat);
    wl_data_device_add_listener(device, &kDevice, &s);
    wl_data_device_start_drag(device, source, window.surface, nullptr, s.pressSerial);
    // Moved over in steps, as a hand would: the target hears of the offer as the drag enters,
    // and answers it as the drag moves on.
    for (int step = 1; step <= kDragSteps; ++step) {
        s.moveTo(start + (at - start) * step / kDragSteps);
        s.pump(30);
    }
    const bool accepted = s.waitFor([&] { return s.accepted || s.cancelled; }) && s.accepted;
    s.button(BTN_LEFT, false);
    s.waitFor([&] { return s.finished || s.cancelled; });
    wl_data_source_destroy(source);
    wl_data_device_release(device);
    return accepted && s.finished;
}

bool WaylandClient::showWindow() {
    if (!connected()) return false;
    state_->window = std::make_unique<SourceWindow>(*state_);
    return state_->window->buffer != nullptr;
}

QByteArray WaylandClient::activationToken() {
    State& s = *state_;
    if (!s.bound.activation) return {};
    s.token.clear();
    xdg_activation_token_v1* token = xdg_activation_v1_get_activation_token(s.bound.activation);
    xdg_activation_token_v1_add_listener(token, &kToken, &s);
    xdg_activation_token_v1_commit(token);
    s.waitFor([&] { return !s.token.isEmpty(); });
    xdg_activation_token_v1_destroy(token);
    return s.token;
}

}  // namespace pomu::test

#include "support/wayland/TestCompositor.h"

#include "ext-workspace-v1-server-protocol.h"
// The generated header names an argument `namespace`, which C++ reserves.
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-server-protocol.h"
#undef namespace
#include "xdg-shell-server-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-server-protocol.h"

#include <QDir>
#include <QStandardPaths>

#include <wayland-server.h>
#include <xkbcommon/xkbcommon.h>

#include <linux/input-event-codes.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace sm::test {

namespace {
constexpr int kOutputWidth = 1280;
constexpr int kOutputHeight = 800;

void forget(std::vector<wl_resource*>& list, wl_resource* r) {
    std::erase(list, r);
}
wl_resource* ofClient(const std::vector<wl_resource*>& list, wl_client* client) {
    for (auto* r : list)
        if (wl_resource_get_client(r) == client) return r;
    return nullptr;
}
QByteArray utf8(const QString& s) {
    return s.toUtf8();
}
quint32 now() {
    return static_cast<quint32>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
}
} // namespace

struct TestCompositor::State {
    struct Output {
        QString name;
        int x = 0;
        wl_global* global = nullptr;
        std::vector<wl_resource*> resources;
        bool present = true;
        State* state = nullptr;
    };
    struct Group {
        QString output;
        std::vector<wl_resource*> resources;
        State* state = nullptr;
    };
    struct Workspace {
        int number = 0;
        QString name, id, output;
        QList<quint32> coordinates;
        bool active = false;
        bool removed = false;
        std::vector<wl_resource*> resources;
    };
    struct Manager {
        wl_resource* resource = nullptr;
        std::vector<int> pending;
    };
    struct Layer;
    struct Surface {
        wl_resource* resource = nullptr;
        wl_resource* pendingBuffer = nullptr;
        bool attached = false;
        Layer* layer = nullptr;
        std::vector<wl_resource*> frames;
        State* state = nullptr;
    };
    struct Layer {
        wl_resource* resource = nullptr; // the layer surface, or the popup's xdg_surface
        wl_resource* popup = nullptr;
        wl_resource* toplevel = nullptr; // a window of the toolkit's (Preferences, say): configured, never shown
        Surface* surface = nullptr;
        LayerSurface info;
        State* state = nullptr;
    };

    struct Window {
        int number = 0;
        QString appId, title;
        std::vector<wl_resource*> resources;
    };
    std::list<Window> windows;
    int focusedWindow = 0;
    int nextWindow = 1;
    std::vector<wl_resource*> toplevelManagers;

    Options options;
    wl_display* display = nullptr;
    wl_event_loop* loop = nullptr;
    QString socket;
    int wakeFd = -1;
    wl_event_source* wakeSource = nullptr;
    std::thread thread;
    bool stopping = false;

    mutable std::mutex mutex; // guards `work`, `log` and `layers`' infos for the other thread
    std::deque<std::function<void()>> work;
    QStringList log;

    std::list<Output> outputs;
    std::list<Group> groups;
    std::list<Workspace> workspaces;
    std::list<Manager> managers;
    std::list<Surface> surfaces;
    std::list<Layer> layers;
    std::vector<wl_resource*> pointers, keyboards;
    std::vector<wl_global*> retiredGlobals;
    int nextWorkspace = 1;
    int nextLayer = 1;

    xkb_context* xkb = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* keyState = nullptr;
    std::string keymapText;

    void note(const QString& line) {
        std::lock_guard lock(mutex);
        log << line;
    }

    Group& groupFor(const QString& output) {
        for (auto& g : groups)
            if (g.output == output) return g;
        groups.push_back(Group{output, {}, this});
        Group& g = groups.back();
        for (auto& m : managers)
            sendGroup(m, g);
        return g;
    }
    Output* outputNamed(const QString& name) {
        for (auto& o : outputs)
            if (o.present && o.name == name) return &o;
        return nullptr;
    }
    Workspace* workspace(int number) {
        for (auto& w : workspaces)
            if (w.number == number && !w.removed) return &w;
        return nullptr;
    }
    Manager* managerOf(wl_client* client) {
        for (auto& m : managers)
            if (wl_resource_get_client(m.resource) == client) return &m;
        return nullptr;
    }
    void done() {
        for (auto& m : managers)
            ext_workspace_manager_v1_send_done(m.resource);
    }

    // --- workspace protocol ---
    static void workspaceRequestDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static State* of(wl_resource* r);
    static Workspace* workspaceOf(wl_resource* r) {
        State* s = of(r);
        for (auto& w : s->workspaces)
            if (std::find(w.resources.begin(), w.resources.end(), r) != w.resources.end()) return &w;
        return nullptr;
    }
    static void activate(wl_client* client, wl_resource* r) {
        State* s = of(r);
        Workspace* w = workspaceOf(r);
        s->note(QStringLiteral("activate ") + (w ? w->name : QStringLiteral("?")));
        if (Manager* m = s->managerOf(client); m && w) m->pending.push_back(w->number);
    }
    static void deactivate(wl_client*, wl_resource* r) { of(r)->note(QStringLiteral("deactivate")); }
    static void assign(wl_client*, wl_resource* r, wl_resource*) { of(r)->note(QStringLiteral("assign")); }
    static void remove(wl_client*, wl_resource* r) { of(r)->note(QStringLiteral("remove")); }
    static constexpr struct ext_workspace_handle_v1_interface workspaceImpl {
        workspaceRequestDestroy, activate, deactivate, assign, remove
    };

    static void groupCreate(wl_client*, wl_resource* r, const char* name) {
        of(r)->note(QStringLiteral("create_workspace ") + QString::fromUtf8(name));
    }
    static constexpr struct ext_workspace_group_handle_v1_interface groupImpl {
        groupCreate, workspaceRequestDestroy
    };

    static void managerCommit(wl_client* client, wl_resource* r) {
        State* s = of(r);
        s->note(QStringLiteral("commit"));
        Manager* m = s->managerOf(client);
        if (!m) return;
        const auto pending = std::exchange(m->pending, {});
        if (!s->options.grantsActivate || pending.empty()) return;
        for (const int n : pending)
            s->makeActive(n);
        s->done();
    }
    static void managerStop(wl_client*, wl_resource* r) {
        ext_workspace_manager_v1_send_finished(r);
        wl_resource_destroy(r);
    }
    static constexpr struct ext_workspace_manager_v1_interface managerImpl { managerCommit, managerStop };

    void sendGroup(Manager& m, Group& g) {
        wl_client* client = wl_resource_get_client(m.resource);
        wl_resource* r = wl_resource_create(client, &ext_workspace_group_handle_v1_interface, 1, 0);
        wl_resource_set_implementation(r, &groupImpl, this, [](wl_resource* gone) {
            for (auto& group : of(gone)->groups)
                forget(group.resources, gone);
        });
        g.resources.push_back(r);
        ext_workspace_manager_v1_send_workspace_group(m.resource, r);
        ext_workspace_group_handle_v1_send_capabilities(r, 0);
        if (Output* o = outputNamed(g.output))
            if (wl_resource* out = ofClient(o->resources, client))
                ext_workspace_group_handle_v1_send_output_enter(r, out);
    }
    void sendState(wl_resource* r, const Workspace& w) {
        ext_workspace_handle_v1_send_state(r, w.active ? EXT_WORKSPACE_HANDLE_V1_STATE_ACTIVE : 0);
    }
    void sendWorkspace(Manager& m, Workspace& w) {
        wl_client* client = wl_resource_get_client(m.resource);
        wl_resource* r = wl_resource_create(client, &ext_workspace_handle_v1_interface, 1, 0);
        wl_resource_set_implementation(r, &workspaceImpl, this, [](wl_resource* gone) {
            for (auto& ws : of(gone)->workspaces)
                forget(ws.resources, gone);
        });
        w.resources.push_back(r);
        ext_workspace_manager_v1_send_workspace(m.resource, r);
        if (!w.id.isEmpty()) ext_workspace_handle_v1_send_id(r, utf8(w.id).constData());
        ext_workspace_handle_v1_send_name(r, utf8(w.name).constData());
        if (!w.coordinates.isEmpty()) {
            wl_array a;
            wl_array_init(&a);
            for (const quint32 c : w.coordinates)
                *static_cast<quint32*>(wl_array_add(&a, sizeof c)) = c;
            ext_workspace_handle_v1_send_coordinates(r, &a);
            wl_array_release(&a);
        }
        sendState(r, w);
        ext_workspace_handle_v1_send_capabilities(
            r, options.grantsActivate ? EXT_WORKSPACE_HANDLE_V1_WORKSPACE_CAPABILITIES_ACTIVATE : 0);
        if (wl_resource* g = ofClient(groupFor(w.output).resources, client))
            ext_workspace_group_handle_v1_send_workspace_enter(g, r);
    }
    void makeActive(int number) {
        Workspace* target = workspace(number);
        if (!target) return;
        for (auto& w : workspaces) {
            if (w.removed || w.output != target->output) continue;
            const bool active = &w == target;
            if (w.active == active) continue;
            w.active = active;
            for (auto* r : w.resources)
                sendState(r, w);
        }
    }
    static void bindManager(wl_client* client, void* data, uint32_t version, uint32_t id) {
        auto* s = static_cast<State*>(data);
        wl_resource* r =
            wl_resource_create(client, &ext_workspace_manager_v1_interface, static_cast<int>(version), id);
        wl_resource_set_implementation(r, &managerImpl, s, [](wl_resource* gone) {
            of(gone)->managers.remove_if([&](const Manager& m) { return m.resource == gone; });
        });
        s->managers.push_back(Manager{r, {}});
        Manager& m = s->managers.back();
        for (auto& g : s->groups)
            s->sendGroup(m, g);
        for (auto& w : s->workspaces)
            if (!w.removed) s->sendWorkspace(m, w);
        ext_workspace_manager_v1_send_done(r);
    }

    // --- outputs ---
    static void outputRelease(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static constexpr struct wl_output_interface outputImpl { outputRelease };
    static void bindOutput(wl_client* client, void* data, uint32_t version, uint32_t id) {
        auto* o = static_cast<Output*>(data);
        wl_resource* r =
            wl_resource_create(client, &wl_output_interface, static_cast<int>(std::min(version, 4u)), id);
        wl_resource_set_implementation(r, &outputImpl, o, [](wl_resource* gone) {
            forget(static_cast<Output*>(wl_resource_get_user_data(gone))->resources, gone);
        });
        o->resources.push_back(r);
        const QByteArray make = "Spacemarquee", model = utf8(QStringLiteral("Test ") + o->name);
        wl_output_send_geometry(r, o->x, 0, 340, 210, WL_OUTPUT_SUBPIXEL_UNKNOWN, make.constData(),
                                model.constData(), WL_OUTPUT_TRANSFORM_NORMAL);
        wl_output_send_mode(r, WL_OUTPUT_MODE_CURRENT | WL_OUTPUT_MODE_PREFERRED, kOutputWidth, kOutputHeight,
                            60000);
        if (wl_resource_get_version(r) >= 2) wl_output_send_scale(r, 1);
        if (wl_resource_get_version(r) >= 4) {
            wl_output_send_name(r, utf8(o->name).constData());
            wl_output_send_description(r, model.constData());
        }
        if (wl_resource_get_version(r) >= 2) wl_output_send_done(r);
        // A client that already follows the workspaces hears that this output's group shows on it.
        if (Manager* m = o->state->managerOf(client)) {
            if (wl_resource* g = ofClient(o->state->groupFor(o->name).resources, client)) {
                ext_workspace_group_handle_v1_send_output_enter(g, r);
                ext_workspace_manager_v1_send_done(m->resource);
            }
        }
    }
    void addOutput(const QString& name) {
        int x = 0;
        for (const auto& o : outputs)
            if (o.present) x = std::max(x, o.x + kOutputWidth);
        outputs.push_back(Output{name, x, nullptr, {}, true, this});
        Output& o = outputs.back();
        groupFor(name);
        o.global = wl_global_create(display, &wl_output_interface, 4, &o, bindOutput);
    }
    void removeOutput(const QString& name) {
        Output* o = outputNamed(name);
        if (!o) return;
        o->present = false;
        for (auto& g : groups)
            if (g.output == name)
                for (auto* gr : g.resources)
                    if (wl_resource* out = ofClient(o->resources, wl_resource_get_client(gr)))
                        ext_workspace_group_handle_v1_send_output_leave(gr, out);
        done();
        for (auto& l : layers)
            if (l.info.output == name && l.resource) zwlr_layer_surface_v1_send_closed(l.resource);
        wl_global_remove(o->global);
        retiredGlobals.push_back(o->global);
    }

    // --- surfaces ---
    static Surface* surfaceOf(wl_resource* r) { return static_cast<Surface*>(wl_resource_get_user_data(r)); }
    static void surfaceDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static void surfaceAttach(wl_client*, wl_resource* r, wl_resource* buffer, int32_t, int32_t) {
        surfaceOf(r)->pendingBuffer = buffer;
        surfaceOf(r)->attached = true;
    }
    static void surfaceDamage(wl_client*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {}
    static void surfaceFrame(wl_client* client, wl_resource* r, uint32_t id) {
        wl_resource* cb = wl_resource_create(client, &wl_callback_interface, 1, id);
        wl_resource_set_implementation(cb, nullptr, surfaceOf(r), [](wl_resource* gone) {
            auto* s = static_cast<Surface*>(wl_resource_get_user_data(gone));
            if (s) forget(s->frames, gone);
        });
        surfaceOf(r)->frames.push_back(cb);
    }
    static void surfaceRegion(wl_client*, wl_resource*, wl_resource*) {}
    static void surfaceCommit(wl_client*, wl_resource* r) { surfaceOf(r)->state->commit(*surfaceOf(r)); }
    static void surfaceTransform(wl_client*, wl_resource*, int32_t) {}
    static void surfaceScale(wl_client*, wl_resource*, int32_t) {}
    static constexpr struct wl_surface_interface surfaceImpl {
        surfaceDestroy, surfaceAttach, surfaceDamage, surfaceFrame, surfaceRegion, surfaceRegion,
            surfaceCommit, surfaceTransform, surfaceScale, surfaceDamage, nullptr
    };
    void commit(Surface& surface) {
        for (auto* cb : std::exchange(surface.frames, {})) {
            wl_callback_send_done(cb, now());
            wl_resource_set_user_data(cb, nullptr);
            wl_resource_destroy(cb);
        }
        Layer* layer = surface.layer;
        if (!layer) return;
        std::lock_guard lock(mutex);
        if (surface.attached) {
            surface.attached = false;
            wl_resource* buffer = std::exchange(surface.pendingBuffer, nullptr);
            wl_shm_buffer* shm = buffer ? wl_shm_buffer_get(buffer) : nullptr;
            if (!shm) {
                layer->info.mapped = false;
                log << QStringLiteral("attach null");
                return;
            }
            const int w = wl_shm_buffer_get_width(shm), h = wl_shm_buffer_get_height(shm);
            wl_shm_buffer_begin_access(shm);
            const QImage view(static_cast<const uchar*>(wl_shm_buffer_get_data(shm)), w, h,
                              wl_shm_buffer_get_stride(shm), QImage::Format_ARGB32_Premultiplied);
            layer->info.image = view.copy();
            wl_shm_buffer_end_access(shm);
            wl_buffer_send_release(buffer);
            layer->info.mapped = true;
            ++layer->info.buffers;
            log << QStringLiteral("attach %1x%2").arg(w).arg(h);
            return;
        }
        if (!layer->info.mapped) {
            const QSize size(layer->info.size.width() ? layer->info.size.width() : kOutputWidth,
                             layer->info.size.height() ? layer->info.size.height() : kOutputHeight);
            if (layer->popup || layer->toplevel) {
                if (layer->popup) xdg_popup_send_configure(layer->popup, 0, 0, size.width(), size.height());
                wl_array states;
                wl_array_init(&states);
                if (layer->toplevel) xdg_toplevel_send_configure(layer->toplevel, 0, 0, &states);
                wl_array_release(&states);
                xdg_surface_send_configure(layer->resource, wl_display_next_serial(display));
            } else {
                zwlr_layer_surface_v1_send_configure(layer->resource, wl_display_next_serial(display),
                                                     static_cast<uint32_t>(size.width()),
                                                     static_cast<uint32_t>(size.height()));
            }
            ++layer->info.configures;
            log << QStringLiteral("configure");
        }
    }
    static void createSurface(wl_client* client, wl_resource* r, uint32_t id) {
        State* s = of(r);
        wl_resource* surface =
            wl_resource_create(client, &wl_surface_interface, wl_resource_get_version(r), id);
        s->surfaces.push_back(Surface{surface, nullptr, false, nullptr, {}, s});
        wl_resource_set_implementation(surface, &surfaceImpl, &s->surfaces.back(), [](wl_resource* gone) {
            Surface* sf = surfaceOf(gone);
            State* st = sf->state;
            for (auto* cb : sf->frames)
                wl_resource_set_user_data(cb, nullptr);
            if (sf->layer) {
                std::lock_guard lock(st->mutex);
                sf->layer->surface = nullptr;
                sf->layer->info.mapped = false;
            }
            st->surfaces.remove_if([&](const Surface& x) { return &x == sf; });
        });
    }
    static void regionDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static void regionRect(wl_client*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {}
    static constexpr struct wl_region_interface regionImpl { regionDestroy, regionRect, regionRect };
    static void createRegion(wl_client* client, wl_resource* r, uint32_t id) {
        wl_resource* region = wl_resource_create(client, &wl_region_interface, 1, id);
        wl_resource_set_implementation(region, &regionImpl, of(r), nullptr);
    }
    static constexpr struct wl_compositor_interface compositorImpl { createSurface, createRegion };
    static void bindCompositor(wl_client* client, void* data, uint32_t version, uint32_t id) {
        wl_resource* r =
            wl_resource_create(client, &wl_compositor_interface, static_cast<int>(std::min(version, 4u)), id);
        wl_resource_set_implementation(r, &compositorImpl, data, nullptr);
    }

    // --- layer shell ---
    static Layer* layerOf(wl_resource* r) { return static_cast<Layer*>(wl_resource_get_user_data(r)); }
    template <class F> static void change(wl_resource* r, F f) {
        Layer* l = layerOf(r);
        std::lock_guard lock(l->state->mutex);
        f(l->info);
    }
    static void setSize(wl_client*, wl_resource* r, uint32_t w, uint32_t h) {
        change(r, [&](LayerSurface& i) { i.size = QSize(static_cast<int>(w), static_cast<int>(h)); });
    }
    static void setAnchor(wl_client*, wl_resource* r, uint32_t a) {
        change(r, [&](LayerSurface& i) { i.anchor = a; });
    }
    static void setZone(wl_client*, wl_resource*, int32_t) {}
    static void setMargin(wl_client*, wl_resource* r, int32_t top, int32_t, int32_t, int32_t left) {
        change(r, [&](LayerSurface& i) { i.margin = QPoint(left, top); });
    }
    static void setKeyboard(wl_client*, wl_resource* r, uint32_t k) {
        change(r, [&](LayerSurface& i) { i.keyboard = k; });
        layerOf(r)->state->note(QStringLiteral("keyboard_interactivity %1").arg(k));
    }
    static void getPopup(wl_client*, wl_resource* r, wl_resource* popup) {
        State* s = layerOf(r)->state;
        const int parent = layerOf(r)->info.id;
        for (auto& l : s->layers)
            if (l.popup == popup) change(l.resource, [&](LayerSurface& i) { i.popupOf = parent; });
        s->note(QStringLiteral("get_popup"));
    }
    static void ack(wl_client*, wl_resource* r, uint32_t) {
        change(r, [&](LayerSurface& i) { ++i.acks; });
        layerOf(r)->state->note(QStringLiteral("ack_configure"));
    }
    static void layerDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static void setLayer(wl_client*, wl_resource* r, uint32_t layer) {
        change(r, [&](LayerSurface& i) { i.layer = layer; });
    }
    static constexpr struct zwlr_layer_surface_v1_interface layerImpl {
        setSize, setAnchor, setZone, setMargin, setKeyboard, getPopup, ack, layerDestroy, setLayer
    };
    static void getLayerSurface(wl_client* client, wl_resource* shell, uint32_t id, wl_resource* surface,
                                wl_resource* output, uint32_t layer, const char* nameSpace) {
        State* s = of(shell);
        wl_resource* r =
            wl_resource_create(client, &zwlr_layer_surface_v1_interface, wl_resource_get_version(shell), id);
        Layer l;
        l.resource = r;
        l.surface = surfaceOf(surface);
        l.state = s;
        l.info.id = s->nextLayer++;
        l.info.layer = layer;
        l.info.nameSpace = QString::fromUtf8(nameSpace);
        if (output) l.info.output = static_cast<Output*>(wl_resource_get_user_data(output))->name;
        {
            std::lock_guard lock(s->mutex);
            s->layers.push_back(l);
            s->log << QStringLiteral("get_layer_surface");
        }
        Layer* stored = &s->layers.back();
        stored->surface->layer = stored;
        wl_resource_set_implementation(r, &layerImpl, stored, [](wl_resource* gone) {
            Layer* goneLayer = layerOf(gone);
            State* st = goneLayer->state;
            if (goneLayer->surface) goneLayer->surface->layer = nullptr;
            std::lock_guard lock(st->mutex);
            st->layers.remove_if([&](const Layer& x) { return &x == goneLayer; });
        });
    }
    static void shellDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static constexpr struct zwlr_layer_shell_v1_interface shellImpl { getLayerSurface, shellDestroy };
    static void bindShell(wl_client* client, void* data, uint32_t version, uint32_t id) {
        wl_resource* r = wl_resource_create(client, &zwlr_layer_shell_v1_interface,
                                            static_cast<int>(std::min(version, 3u)), id);
        wl_resource_set_implementation(r, &shellImpl, data, nullptr);
    }

    // --- xdg-shell, for popups of layer surfaces ---
    static void positionerDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static void positionerSize(wl_client*, wl_resource* r, int32_t w, int32_t h) {
        *static_cast<QSize*>(wl_resource_get_user_data(r)) = QSize(w, h);
    }
    static void positionerRect(wl_client*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {}
    static void positionerEnum(wl_client*, wl_resource*, uint32_t) {}
    static void positionerOffset(wl_client*, wl_resource*, int32_t, int32_t) {}
    static constexpr struct xdg_positioner_interface positionerImpl {
        positionerDestroy, positionerSize, positionerRect, positionerEnum, positionerEnum, positionerEnum,
            positionerOffset, nullptr, nullptr, nullptr
    };
    static Layer* popupLayer(State* s, wl_resource* popup) {
        for (auto& l : s->layers)
            if (l.popup == popup) return &l;
        return nullptr;
    }
    static void popupDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static void popupGrab(wl_client*, wl_resource* r, wl_resource*, uint32_t) {
        State* s = of(r);
        if (Layer* l = popupLayer(s, r)) change(l->resource, [](LayerSurface& i) { i.grabbed = true; });
        s->note(QStringLiteral("grab"));
    }
    static constexpr struct xdg_popup_interface popupImpl { popupDestroy, popupGrab, nullptr };
    static void xdgSurfaceDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    // Every request but destroy is taken and ignored.
    static int ignoreAllButDestroy(const void*, void* target, uint32_t opcode, const wl_message*, wl_argument*) {
        if (opcode == 0) wl_resource_destroy(static_cast<wl_resource*>(target));
        return 0;
    }
    static void toplevel(wl_client* client, wl_resource* r, uint32_t id) {
        wl_resource* t = wl_resource_create(client, &xdg_toplevel_interface, 1, id);
        Layer* l = layerOf(r);
        l->toplevel = t;
        wl_resource_set_dispatcher(t, ignoreAllButDestroy, nullptr, l->state, [](wl_resource* gone) {
            for (auto& x : of(gone)->layers)
                if (x.toplevel == gone) x.toplevel = nullptr;
        });
    }
    static void xdgPopup(wl_client* client, wl_resource* r, uint32_t id, wl_resource* parent, wl_resource* positioner) {
        Layer* l = layerOf(r);
        wl_resource* popup = wl_resource_create(client, &xdg_popup_interface, 1, id);
        wl_resource_set_implementation(popup, &popupImpl, l->state, [](wl_resource* gone) {
            if (Layer* pl = popupLayer(of(gone), gone)) pl->popup = nullptr;
        });
        l->popup = popup;
        const QSize size = *static_cast<QSize*>(wl_resource_get_user_data(positioner));
        const int parentId = parent ? layerOf(parent)->info.id : 0;
        change(r, [&](LayerSurface& i) {
            i.size = size;
            i.popupOf = parentId;
        });
    }
    static void windowGeometry(wl_client*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {}
    static void xdgAck(wl_client*, wl_resource* r, uint32_t) {
        change(r, [](LayerSurface& i) { ++i.acks; });
    }
    static constexpr struct xdg_surface_interface xdgSurfaceImpl {
        xdgSurfaceDestroy, toplevel, xdgPopup, windowGeometry, xdgAck
    };
    static void wmDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static void createPositioner(wl_client* client, wl_resource*, uint32_t id) {
        wl_resource* r = wl_resource_create(client, &xdg_positioner_interface, 1, id);
        wl_resource_set_implementation(r, &positionerImpl, new QSize, [](wl_resource* gone) {
            delete static_cast<QSize*>(wl_resource_get_user_data(gone));
        });
    }
    static void getXdgSurface(wl_client* client, wl_resource* base, uint32_t id, wl_resource* surface) {
        State* s = of(base);
        wl_resource* r = wl_resource_create(client, &xdg_surface_interface, 1, id);
        Layer l;
        l.resource = r;
        l.surface = surfaceOf(surface);
        l.state = s;
        l.info.id = s->nextLayer++;
        l.info.nameSpace = QStringLiteral("xdg_surface");
        {
            std::lock_guard lock(s->mutex);
            s->layers.push_back(l);
        }
        Layer* stored = &s->layers.back();
        stored->surface->layer = stored;
        wl_resource_set_implementation(r, &xdgSurfaceImpl, stored, [](wl_resource* gone) {
            Layer* goneLayer = layerOf(gone);
            State* st = goneLayer->state;
            if (goneLayer->surface) goneLayer->surface->layer = nullptr;
            std::lock_guard lock(st->mutex);
            st->layers.remove_if([&](const Layer& x) { return &x == goneLayer; });
        });
    }
    static void pong(wl_client*, wl_resource*, uint32_t) {}
    static constexpr struct xdg_wm_base_interface wmBaseImpl { wmDestroy, createPositioner, getXdgSurface, pong };
    static void bindWmBase(wl_client* client, void* data, uint32_t, uint32_t id) {
        wl_resource* r = wl_resource_create(client, &xdg_wm_base_interface, 1, id);
        wl_resource_set_implementation(r, &wmBaseImpl, data, nullptr);
    }

    // --- windows ---
    static void handleNoop(wl_client*, wl_resource*) {}
    static void handleSeat(wl_client*, wl_resource*, wl_resource*) {}
    static void handleRect(wl_client*, wl_resource*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {}
    static void handleOutput(wl_client*, wl_resource*, wl_resource*) {}
    static void handleDestroy(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static constexpr struct zwlr_foreign_toplevel_handle_v1_interface handleImpl {
        handleNoop, handleNoop, handleNoop, handleNoop, handleSeat, handleNoop, handleRect, handleDestroy,
            handleOutput, handleNoop
    };
    void sendState(Window& w, wl_resource* r) {
        wl_array states;
        wl_array_init(&states);
        if (w.number == focusedWindow)
            *static_cast<uint32_t*>(wl_array_add(&states, sizeof(uint32_t))) =
                ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        zwlr_foreign_toplevel_handle_v1_send_state(r, &states);
        wl_array_release(&states);
    }
    void sendWindow(wl_resource* manager, Window& w) {
        wl_resource* r = wl_resource_create(wl_resource_get_client(manager), &zwlr_foreign_toplevel_handle_v1_interface,
                                            wl_resource_get_version(manager), 0);
        wl_resource_set_implementation(r, &handleImpl, this, [](wl_resource* gone) {
            for (auto& win : of(gone)->windows)
                forget(win.resources, gone);
        });
        w.resources.push_back(r);
        zwlr_foreign_toplevel_manager_v1_send_toplevel(manager, r);
        zwlr_foreign_toplevel_handle_v1_send_title(r, utf8(w.title).constData());
        zwlr_foreign_toplevel_handle_v1_send_app_id(r, utf8(w.appId).constData());
        sendState(w, r);
        zwlr_foreign_toplevel_handle_v1_send_done(r);
    }
    void windowsChanged() {
        for (auto& w : windows)
            for (auto* r : w.resources) {
                zwlr_foreign_toplevel_handle_v1_send_title(r, utf8(w.title).constData());
                sendState(w, r);
                zwlr_foreign_toplevel_handle_v1_send_done(r);
            }
    }
    static void toplevelStop(wl_client*, wl_resource*) {}
    static constexpr struct zwlr_foreign_toplevel_manager_v1_interface toplevelManagerImpl { toplevelStop };
    static void bindToplevels(wl_client* client, void* data, uint32_t version, uint32_t id) {
        wl_resource* r = wl_resource_create(client, &zwlr_foreign_toplevel_manager_v1_interface,
                                            static_cast<int>(std::min(version, 3u)), id);
        wl_resource_set_implementation(r, &toplevelManagerImpl, data,
                                       [](wl_resource* gone) { forget(of(gone)->toplevelManagers, gone); });
        State* s = static_cast<State*>(data);
        s->toplevelManagers.push_back(r);
        for (auto& w : s->windows)
            s->sendWindow(r, w);
    }

    // --- seat ---
    static void setCursor(wl_client*, wl_resource*, uint32_t, wl_resource*, int32_t, int32_t) {}
    static void release(wl_client*, wl_resource* r) { wl_resource_destroy(r); }
    static constexpr struct wl_pointer_interface pointerImpl { setCursor, release };
    static constexpr struct wl_keyboard_interface keyboardImpl { release };
    static void getPointer(wl_client* client, wl_resource* seat, uint32_t id) {
        State* s = of(seat);
        wl_resource* r = wl_resource_create(client, &wl_pointer_interface, wl_resource_get_version(seat), id);
        wl_resource_set_implementation(r, &pointerImpl, s,
                                       [](wl_resource* gone) { forget(of(gone)->pointers, gone); });
        s->pointers.push_back(r);
    }
    static void getKeyboard(wl_client* client, wl_resource* seat, uint32_t id) {
        State* s = of(seat);
        wl_resource* r =
            wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id);
        wl_resource_set_implementation(r, &keyboardImpl, s,
                                       [](wl_resource* gone) { forget(of(gone)->keyboards, gone); });
        s->keyboards.push_back(r);
        const int fd = memfd_create("keymap", MFD_CLOEXEC);
        const auto size = s->keymapText.size() + 1;
        if (fd >= 0 && write(fd, s->keymapText.c_str(), size) == static_cast<ssize_t>(size))
            wl_keyboard_send_keymap(r, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<uint32_t>(size));
        if (fd >= 0) close(fd);
        if (wl_resource_get_version(r) >= 4) wl_keyboard_send_repeat_info(r, 0, 0);
    }
    static void getTouch(wl_client* client, wl_resource* seat, uint32_t id) {
        wl_resource* r = wl_resource_create(client, &wl_touch_interface, wl_resource_get_version(seat), id);
        wl_resource_set_implementation(r, nullptr, nullptr, nullptr);
    }
    static constexpr struct wl_seat_interface seatImpl { getPointer, getKeyboard, getTouch, release };
    static void bindSeat(wl_client* client, void* data, uint32_t version, uint32_t id) {
        wl_resource* r =
            wl_resource_create(client, &wl_seat_interface, static_cast<int>(std::min(version, 5u)), id);
        wl_resource_set_implementation(r, &seatImpl, data, nullptr);
        wl_seat_send_capabilities(r, WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD);
        if (wl_resource_get_version(r) >= 2) wl_seat_send_name(r, "seat0");
    }

    Layer* layer(int id) {
        for (auto& l : layers)
            if (l.info.id == id && l.surface) return &l;
        return nullptr;
    }
    void pointerFrame(wl_resource* p) {
        if (wl_resource_get_version(p) >= 5) wl_pointer_send_frame(p);
    }
    void sendModifiers(wl_resource* k) {
        wl_keyboard_send_modifiers(k, wl_display_next_serial(display),
                                   xkb_state_serialize_mods(keyState, XKB_STATE_MODS_DEPRESSED),
                                   xkb_state_serialize_mods(keyState, XKB_STATE_MODS_LATCHED),
                                   xkb_state_serialize_mods(keyState, XKB_STATE_MODS_LOCKED),
                                   xkb_state_serialize_layout(keyState, XKB_STATE_LAYOUT_EFFECTIVE));
    }
    void key(quint32 code, bool down) {
        xkb_state_update_key(keyState, code + 8, down ? XKB_KEY_DOWN : XKB_KEY_UP);
        for (auto* k : keyboards) {
            wl_keyboard_send_key(k, wl_display_next_serial(display), now(), code,
                                 down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
            sendModifiers(k);
        }
    }
};

// The resources whose user data is the state itself: all but outputs, surfaces and layer surfaces.
TestCompositor::State* TestCompositor::State::of(wl_resource* r) {
    return static_cast<State*>(wl_resource_get_user_data(r));
}

TestCompositor::TestCompositor(Options options) : s_(std::make_unique<State>()) {
    s_->options = std::move(options);
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QDir::temp().filePath(QStringLiteral("sm-wayland-%1").arg(getuid()));
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir.toUtf8());
    }
    s_->display = wl_display_create();
    const char* name = wl_display_add_socket_auto(s_->display);
    if (!name) return;
    s_->socket = QString::fromUtf8(name);
    s_->loop = wl_display_get_event_loop(s_->display);
    wl_display_init_shm(s_->display);

    s_->xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const QByteArray layout = s_->options.keyboardLayout.toUtf8(),
                     variant = s_->options.keyboardVariant.toUtf8();
    const xkb_rule_names names{"evdev", "pc105", layout.constData(), variant.constData(), ""};
    s_->keymap = xkb_keymap_new_from_names(s_->xkb, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (s_->keymap) {
        char* text = xkb_keymap_get_as_string(s_->keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        s_->keymapText = text;
        free(text);
        s_->keyState = xkb_state_new(s_->keymap);
    }

    wl_global_create(s_->display, &wl_compositor_interface, 4, s_.get(), State::bindCompositor);
    for (const auto& output : s_->options.outputs)
        s_->addOutput(output);
    wl_global_create(s_->display, &wl_seat_interface, 5, s_.get(), State::bindSeat);
    wl_global_create(s_->display, &zwlr_layer_shell_v1_interface, 3, s_.get(), State::bindShell);
    wl_global_create(s_->display, &xdg_wm_base_interface, 1, s_.get(), State::bindWmBase);
    if (s_->options.toplevels)
        wl_global_create(s_->display, &zwlr_foreign_toplevel_manager_v1_interface, 3, s_.get(), State::bindToplevels);
    if (s_->options.workspaces)
        wl_global_create(s_->display, &ext_workspace_manager_v1_interface, 1, s_.get(), State::bindManager);

    s_->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    s_->wakeSource = wl_event_loop_add_fd(
        s_->loop, s_->wakeFd, WL_EVENT_READABLE,
        [](int fd, uint32_t, void* data) {
            auto* s = static_cast<State*>(data);
            uint64_t n;
            (void)!read(fd, &n, sizeof n);
            for (;;) {
                std::function<void()> work;
                {
                    std::lock_guard lock(s->mutex);
                    if (s->work.empty()) break;
                    work = std::move(s->work.front());
                    s->work.pop_front();
                }
                work();
            }
            return 0;
        },
        s_.get());
    s_->thread = std::thread([s = s_.get()] {
        while (!s->stopping) {
            wl_display_flush_clients(s->display);
            wl_event_loop_dispatch(s->loop, -1);
        }
        wl_display_flush_clients(s->display);
    });
}

TestCompositor::~TestCompositor() {
    if (s_->thread.joinable()) {
        call([s = s_.get()] { s->stopping = true; });
        s_->thread.join();
    }
    if (s_->wakeSource) wl_event_source_remove(s_->wakeSource);
    if (s_->display) {
        wl_display_destroy_clients(s_->display);
        wl_display_destroy(s_->display);
    }
    if (s_->wakeFd >= 0) close(s_->wakeFd);
    if (s_->keyState) xkb_state_unref(s_->keyState);
    if (s_->keymap) xkb_keymap_unref(s_->keymap);
    if (s_->xkb) xkb_context_unref(s_->xkb);
}

void TestCompositor::call(std::function<void()> work) const {
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool finished = false;
    {
        std::lock_guard lock(s_->mutex);
        s_->work.push_back([&] {
            work();
            wl_display_flush_clients(s_->display);
            std::lock_guard doneLock(doneMutex);
            finished = true;
            doneSignal.notify_one();
        });
    }
    const uint64_t one = 1;
    (void)!write(s_->wakeFd, &one, sizeof one);
    std::unique_lock lock(doneMutex);
    doneSignal.wait(lock, [&] { return finished; });
}

bool TestCompositor::isRunning() const {
    return s_->thread.joinable();
}
QString TestCompositor::socketName() const {
    return s_->socket;
}
QString TestCompositor::socketPath() const {
    return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(s_->socket);
}

int TestCompositor::addWorkspace(const QString& output, const QString& name, QList<quint32> coordinates) {
    int number = 0;
    call([&] {
        State& s = *s_;
        number = s.nextWorkspace++;
        State::Workspace w;
        w.number = number;
        w.name = name;
        w.output = output;
        w.coordinates = coordinates;
        if (s.options.sendsIds) w.id = QStringLiteral("ws-%1").arg(number);
        w.active = std::none_of(s.workspaces.begin(), s.workspaces.end(),
                                [&](const State::Workspace& o) { return !o.removed && o.output == output; });
        s.workspaces.push_back(w);
        for (auto& m : s.managers)
            s.sendWorkspace(m, s.workspaces.back());
        s.done();
    });
    return number;
}

void TestCompositor::renameWorkspace(int workspace, const QString& name) {
    call([&] {
        if (auto* w = s_->workspace(workspace)) {
            w->name = name;
            for (auto* r : w->resources)
                ext_workspace_handle_v1_send_name(r, utf8(name).constData());
            s_->done();
        }
    });
}

void TestCompositor::activateWorkspace(int workspace) {
    call([&] {
        s_->makeActive(workspace);
        s_->done();
    });
}

void TestCompositor::removeWorkspace(int workspace) {
    call([&] {
        State& s = *s_;
        auto* w = s.workspace(workspace);
        if (!w) return;
        const bool wasActive = w->active;
        w->removed = true;
        for (auto* r : w->resources) {
            if (wl_resource* g = ofClient(s.groupFor(w->output).resources, wl_resource_get_client(r)))
                ext_workspace_group_handle_v1_send_workspace_leave(g, r);
            ext_workspace_handle_v1_send_removed(r);
        }
        if (wasActive)
            for (auto& other : s.workspaces)
                if (!other.removed && other.output == w->output) {
                    s.makeActive(other.number);
                    break;
                }
        s.done();
    });
}

QString TestCompositor::activeWorkspaceName(const QString& output) const {
    QString name;
    call([&] {
        for (const auto& w : s_->workspaces)
            if (!w.removed && w.active && w.output == output) name = w.name;
    });
    return name;
}

void TestCompositor::addOutput(const QString& name) {
    call([&] { s_->addOutput(name); });
}

void TestCompositor::removeOutput(const QString& name) {
    call([&] { s_->removeOutput(name); });
}

QStringList TestCompositor::requests() const {
    std::lock_guard lock(s_->mutex);
    return s_->log;
}

qsizetype TestCompositor::count(const QString& prefix) const {
    const QStringList log = requests();
    return std::count_if(log.begin(), log.end(), [&](const QString& l) { return l.startsWith(prefix); });
}

QList<TestCompositor::LayerSurface> TestCompositor::layerSurfaces() const {
    std::lock_guard lock(s_->mutex);
    QList<LayerSurface> list;
    for (const auto& l : s_->layers)
        if (l.surface) list << l.info;
    return list;
}

std::optional<TestCompositor::LayerSurface> TestCompositor::mappedOn(const QString& output) const {
    for (const auto& l : layerSurfaces())
        if (l.mapped && l.output == output) return l;
    return std::nullopt;
}

int TestCompositor::openWindow(const QString& appId, const QString& title) {
    int number = 0;
    call([&] {
        State& s = *s_;
        number = s.nextWindow++;
        s.windows.push_back(State::Window{number, appId, title, {}});
        s.focusedWindow = number;
        s.windowsChanged();
        for (auto* m : s.toplevelManagers)
            s.sendWindow(m, s.windows.back());
    });
    return number;
}

void TestCompositor::focusWindow(int window) {
    call([&] {
        s_->focusedWindow = window;
        s_->windowsChanged();
    });
}

void TestCompositor::retitleWindow(int window, const QString& title) {
    call([&] {
        for (auto& w : s_->windows)
            if (w.number == window) w.title = title;
        s_->windowsChanged();
    });
}

void TestCompositor::closeWindow(int window) {
    call([&] {
        State& s = *s_;
        for (auto& w : s.windows)
            if (w.number == window)
                for (auto* r : std::exchange(w.resources, {}))
                    zwlr_foreign_toplevel_handle_v1_send_closed(r);
        s.windows.remove_if([&](const State::Window& w) { return w.number == window; });
        if (s.focusedWindow == window) s.focusedWindow = 0;
        s.windowsChanged();
    });
}

void TestCompositor::click(int surface, QPoint at, bool right) {
    call([&] {
        State& s = *s_;
        State::Layer* l = s.layer(surface);
        if (!l) return;
        wl_resource* p = ofClient(s.pointers, wl_resource_get_client(l->surface->resource));
        if (!p) return;
        const uint32_t button = right ? BTN_RIGHT : BTN_LEFT;
        wl_pointer_send_enter(p, wl_display_next_serial(s.display), l->surface->resource,
                              wl_fixed_from_int(at.x()), wl_fixed_from_int(at.y()));
        s.pointerFrame(p);
        wl_pointer_send_button(p, wl_display_next_serial(s.display), now(), button,
                               WL_POINTER_BUTTON_STATE_PRESSED);
        s.pointerFrame(p);
        wl_pointer_send_button(p, wl_display_next_serial(s.display), now(), button,
                               WL_POINTER_BUTTON_STATE_RELEASED);
        s.pointerFrame(p);
        wl_pointer_send_leave(p, wl_display_next_serial(s.display), l->surface->resource);
        s.pointerFrame(p);
    });
}

// One motion only: the client moves the surface as the pointer goes, and surface-local points of a
// moving surface would depend on how far the client got.
void TestCompositor::drag(int surface, QPoint from, QPoint to) {
    call([&] {
        State& s = *s_;
        State::Layer* l = s.layer(surface);
        if (!l) return;
        wl_resource* p = ofClient(s.pointers, wl_resource_get_client(l->surface->resource));
        if (!p) return;
        wl_pointer_send_enter(p, wl_display_next_serial(s.display), l->surface->resource,
                              wl_fixed_from_int(from.x()), wl_fixed_from_int(from.y()));
        s.pointerFrame(p);
        wl_pointer_send_button(p, wl_display_next_serial(s.display), now(), BTN_LEFT,
                               WL_POINTER_BUTTON_STATE_PRESSED);
        s.pointerFrame(p);
        wl_pointer_send_motion(p, now(), wl_fixed_from_int(to.x()), wl_fixed_from_int(to.y()));
        s.pointerFrame(p);
        wl_pointer_send_button(p, wl_display_next_serial(s.display), now(), BTN_LEFT,
                               WL_POINTER_BUTTON_STATE_RELEASED);
        s.pointerFrame(p);
    });
}

void TestCompositor::focusKeyboard(int surface) {
    call([&] {
        State& s = *s_;
        State::Layer* l = s.layer(surface);
        if (!l) return;
        wl_resource* k = ofClient(s.keyboards, wl_resource_get_client(l->surface->resource));
        if (!k) return;
        wl_array keys;
        wl_array_init(&keys);
        wl_keyboard_send_enter(k, wl_display_next_serial(s.display), l->surface->resource, &keys);
        wl_array_release(&keys);
        s.sendModifiers(k);
    });
}

void TestCompositor::typeKeys(const QList<quint32>& codes, bool shifted) {
    call([&] {
        State& s = *s_;
        if (shifted) s.key(KEY_LEFTSHIFT, true);
        for (const quint32 code : codes) {
            s.key(code, true);
            s.key(code, false);
        }
        if (shifted) s.key(KEY_LEFTSHIFT, false);
    });
}

} // namespace sm::test

#include "platform/wayland/LayerSurface.h"

#include "platform/wayland/WaylandConnection.h"

#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace sm::wayland {

namespace {
const char kNamespace[] = "spacemarquee";
}

// A frame's pixels: a fresh piece of shared memory each time, given back when the compositor releases it.
struct ShmFrames::Buffer {
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    size_t size = 0;
    ShmFrames* owner = nullptr;

    ~Buffer() {
        if (buffer) wl_buffer_destroy(buffer);
        if (data) munmap(data, size);
    }
};

struct LayerListeners {
    static void configure(void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t, uint32_t) {
        static_cast<LayerSurface*>(data)->configured(serial);
    }
    static void closed(void* data, zwlr_layer_surface_v1*) {
        auto* s = static_cast<LayerSurface*>(data);
        s->mapped_ = false;
        if (s->onClosed) s->onClosed();
    }
    static constexpr zwlr_layer_surface_v1_listener layerListener{configure, closed};

    static void release(void* data, wl_buffer*) {
        auto* b = static_cast<ShmFrames::Buffer*>(data);
        std::erase(b->owner->buffers_, b);
        delete b;
    }
    static constexpr wl_buffer_listener bufferListener{release};
};

LayerSurface::LayerSurface(WaylandConnection& connection, const OutputInfo& output, const QRect& onOutput,
                           InputHandler* input)
    : connection_(connection), rect_(onOutput), frames_(connection) {
    surface_ = wl_compositor_create_surface(connection.compositor());
    layer_ = zwlr_layer_shell_v1_get_layer_surface(connection.layerShell(), surface_, output.output,
                                                   ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kNamespace);
    zwlr_layer_surface_v1_add_listener(layer_, &LayerListeners::layerListener, this);
    zwlr_layer_surface_v1_set_anchor(layer_,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    // Never pushed aside by panels that reserve an edge: the label stays where the user put it.
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);
    setRect(onOutput);
    connection.setInputHandler(surface_, input);
    wl_surface_commit(surface_);
    connection.flush();
}

LayerSurface::~LayerSurface() {
    if (onGoing) onGoing();
    connection_.setInputHandler(surface_, nullptr);
    zwlr_layer_surface_v1_destroy(layer_);
    wl_surface_destroy(surface_);
    connection_.flush();
}

// Buffers the compositor still holds go with the surface; it releases none after this.
ShmFrames::~ShmFrames() {
    for (Buffer* b : buffers_)
        delete b;
}

void LayerSurface::setRect(const QRect& onOutput) {
    rect_ = onOutput;
    zwlr_layer_surface_v1_set_size(layer_, static_cast<uint32_t>(std::max(1, rect_.width())),
                                   static_cast<uint32_t>(std::max(1, rect_.height())));
    zwlr_layer_surface_v1_set_margin(layer_, rect_.y(), 0, 0, rect_.x());
    // A move alone keeps the pixels: the margins apply with the next commit. A new size waits for its image.
    if (mapped_ && image_.size() == rect_.size()) {
        wl_surface_commit(surface_);
        connection_.flush();
    }
}

void LayerSurface::setKeyboard(bool takes) {
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        layer_, takes ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                      : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    wl_surface_commit(surface_);
    connection_.flush();
}

void LayerSurface::setTakesInput(bool takes) {
    if (takesInput_ == takes) return;
    takesInput_ = takes;
    applyInput();
    wl_surface_commit(surface_);
    connection_.flush();
}

void LayerSurface::applyInput() {
    if (takesInput_) {
        wl_surface_set_input_region(surface_, nullptr);
        return;
    }
    wl_region* none = wl_compositor_create_region(connection_.compositor());
    wl_surface_set_input_region(surface_, none);
    wl_region_destroy(none);
}

void LayerSurface::show(const QImage& image) {
    image_ = image;
    if (configured_) commitImage();
}

void LayerSurface::configured(quint32 serial) {
    zwlr_layer_surface_v1_ack_configure(layer_, serial);
    configured_ = true;
    if (!image_.isNull())
        commitImage();
    else
        wl_surface_commit(surface_);
    connection_.flush();
}

bool ShmFrames::attach(wl_surface* surface, const QImage& image) {
    const int width = image.width(), height = image.height();
    if (width <= 0 || height <= 0) return false;
    const int stride = width * 4;
    auto* b = new Buffer;
    b->owner = this;
    b->size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    const int fd = memfd_create("spacemarquee-label", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(b->size)) < 0) {
        if (fd >= 0) close(fd);
        delete b;
        return false;
    }
    b->data = mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (b->data == MAP_FAILED) {
        b->data = nullptr;
        close(fd);
        delete b;
        return false;
    }
    const QImage pixels = image.format() == QImage::Format_ARGB32_Premultiplied
                              ? image
                              : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y)
        std::memcpy(static_cast<uchar*>(b->data) + static_cast<size_t>(y) * static_cast<size_t>(stride),
                    pixels.constScanLine(y), static_cast<size_t>(stride));
    wl_shm_pool* pool = wl_shm_create_pool(connection_.shm(), fd, static_cast<int32_t>(b->size));
    b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(b->buffer, &LayerListeners::bufferListener, b);
    buffers_.push_back(b);
    wl_surface_attach(surface, b->buffer, 0, 0);
    wl_surface_damage_buffer(surface, 0, 0, width, height);
    return true;
}

void LayerSurface::commitImage() {
    applyInput();
    if (!frames_.attach(surface_, image_)) return;
    wl_surface_commit(surface_);
    connection_.flush();
    if (!mapped_) {
        mapped_ = true;
        if (onMapped) onMapped();
    }
}

} // namespace sm::wayland

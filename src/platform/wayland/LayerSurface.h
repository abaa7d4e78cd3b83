#pragma once

#include <QImage>
#include <QRect>

#include <functional>
#include <vector>

struct wl_surface;
struct wl_buffer;
struct zwlr_layer_surface_v1;

namespace sm::wayland {

class WaylandConnection;
struct InputHandler;
struct OutputInfo;

// The frames of one surface: each image copied into a fresh piece of shared memory and attached, the
// memory given back when the compositor releases it or the surface goes.
class ShmFrames {
public:
    explicit ShmFrames(WaylandConnection& connection) : connection_(connection) {}
    ~ShmFrames();
    ShmFrames(const ShmFrames&) = delete;
    ShmFrames& operator=(const ShmFrames&) = delete;
    // Attaches and damages; the caller commits. False when no memory could be had.
    bool attach(wl_surface* surface, const QImage& image);

private:
    struct Buffer;
    friend struct LayerListeners;
    WaylandConnection& connection_;
    std::vector<Buffer*> buffers_; // attached and not yet released
};

// One surface in the compositor's overlay layer of one output, anchored at the output's top left and
// placed by its margins; drawn from QImages copied into shared memory. It maps with the first image
// after the compositor's first configure, and unmaps when it is destroyed.
class LayerSurface {
public:
    LayerSurface(WaylandConnection& connection, const OutputInfo& output, const QRect& onOutput,
                 InputHandler* input);
    ~LayerSurface();
    LayerSurface(const LayerSurface&) = delete;
    LayerSurface& operator=(const LayerSurface&) = delete;

    void setRect(const QRect& onOutput);
    void setKeyboard(bool takes);
    void setTakesInput(bool takes);
    void show(const QImage& image);
    bool isMapped() const { return mapped_; }
    wl_surface* surface() const { return surface_; }
    zwlr_layer_surface_v1* layer() const { return layer_; }

    std::function<void()> onMapped;
    std::function<void()> onClosed; // the compositor will not show it any more (its output went)
    std::function<void()> onGoing;  // about to be destroyed: its popups go first

private:
    friend struct LayerListeners;
    void configured(quint32 serial);
    void commitImage();
    void applyInput();

    WaylandConnection& connection_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    QRect rect_;
    QImage image_;
    bool configured_ = false;
    bool mapped_ = false;
    bool takesInput_ = true;
    ShmFrames frames_;
};

} // namespace sm::wayland

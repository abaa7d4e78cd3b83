#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace sm {

// Turns SIGTERM (a desktop logout), SIGINT and SIGHUP into an orderly end, so the termination
// sequence runs as after "Quit". Made first thing in main, before anything that can take time (the
// application object, the X connection, the settings): a signal during start-up is then never fatal,
// only kept until the program can act on it. Further signals change nothing, so a burst or a
// session manager's SIGHUP then SIGTERM never cuts the orderly end short; only a second SIGINT (Ctrl+C
// pressed again) ends the process at once, the default way. The handler only notes the first signal
// and writes a byte to a pipe.
class QuitOnSignals final {
public:
    QuitOnSignals();
    ~QuitOnSignals(); // ignores them from then on: the process is ending
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

    // The signal that arrived, 0 before any. Safe at any time, also before the event loop runs.
    int received() const;

    // Runs `onSignal` on the event loop once the first signal came, also when it came earlier. Make it
    // after the application object, so that it goes away before it.
    class Listener final : public QObject {
    public:
        Listener(const QuitOnSignals& signals, std::function<void()> onSignal);
        ~Listener() override;

    private:
        std::unique_ptr<QSocketNotifier> notifier_;
        std::function<void()> onSignal_;
    };

private:
    bool installed_ = false;
};

} // namespace sm

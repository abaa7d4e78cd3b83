#include "app/qt/QuitOnSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sm {

namespace {

int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t lastSignal = 0;
volatile std::sig_atomic_t interrupted = 0; // a Ctrl+C came already
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onSignal(int number) {
    // Ctrl+C pressed again: the person at the terminal wants it gone now, even if it is stuck (a file
    // that never answers). Anything else asks for the same orderly end, however often it is sent: a
    // session manager sends SIGHUP and then SIGTERM, and a cut-short quit would keep the window
    // manager's desktop names.
    if (number == SIGINT && interrupted) {
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    const int saved = errno;
    if (number == SIGINT) interrupted = 1;
    if (lastSignal != 0) return; // the end is already on its way
    lastSignal = number;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto n = ::write(pipeFds[0], &byte, 1);
    errno = saved;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

} // namespace

QuitOnSignals::QuitOnSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0) return;
    lastSignal = 0;
    interrupted = 0;
    setHandler(onSignal);
    installed_ = true;
    // `spacemarquee` holds these signals back while it hands over to this program; any that came
    // meanwhile are delivered here, to the handler.
    sigset_t held;
    sigemptyset(&held);
    for (const int number : kSignals)
        sigaddset(&held, number);
    ::sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

// The orderly end is over: a quit signal still on its way (a burst whose sender was held up longer
// than the end took) asks for what is done, and must not turn a clean exit into death by a signal.
QuitOnSignals::~QuitOnSignals() {
    if (!installed_) return;
    setHandler(SIG_IGN);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

int QuitOnSignals::received() const {
    return lastSignal;
}

QuitOnSignals::Listener::Listener(const QuitOnSignals& signals, std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)) {
    if (!signals.installed_) return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[1], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(pipeFds[1], &byte, 1) == 1) {
        }
        if (onSignal_) onSignal_();
    });
}

QuitOnSignals::Listener::~Listener() = default;

} // namespace sm

#include "app/qt/WorkingSet.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QList>
#include <QWidget>

#include <malloc.h>
#include <sys/mman.h>

namespace sm {

namespace {

struct Mapping {
    quintptr start = 0;
    quintptr end = 0;
    bool candidate = false; // private, not writable, a file of the system or of the program
    long rss = 0;
    bool untouched = true; // no page of it copied or written: every resident page is the file's own
};

// Only mappings that hold nothing but clean pages of a file can be dropped: the next touch reads the
// same bytes back. A copied page (relocations, RELRO) would be lost, so a mapping with one is kept.
bool isCandidate(const QByteArray& perms, const QByteArray& path) {
    return perms.size() == 4 && perms[1] == '-' && perms[3] == 'p' && path.startsWith('/') &&
           !path.startsWith("/dev/") && !path.startsWith("/memfd:") && !path.endsWith("(deleted)");
}

long kilobytes(const QByteArray& line) {
    return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLong();
}

} // namespace

long releaseUnusedMemory() {
    ::malloc_trim(0);
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly)) return 0;
    QList<Mapping> mappings;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        const QByteArray& first = fields.front();
        if (!first.endsWith(':')) {
            const qsizetype dash = first.indexOf('-');
            if (dash <= 0 || fields.size() < 5) continue;
            Mapping m;
            m.start = first.left(dash).toULongLong(nullptr, 16);
            m.end = first.mid(dash + 1).toULongLong(nullptr, 16);
            m.candidate = isCandidate(fields[1], fields.size() > 5 ? fields[5] : QByteArray());
            mappings << m;
            continue;
        }
        if (mappings.isEmpty()) continue;
        Mapping& m = mappings.last();
        if (first == "Rss:")
            m.rss = kilobytes(line);
        else if (first == "Anonymous:" || first == "Private_Dirty:" || first == "Shared_Dirty:" ||
                 first == "Swap:")
            m.untouched = m.untouched && kilobytes(line) == 0;
    }
    long released = 0;
    for (const Mapping& m : mappings) {
        if (!m.candidate || !m.untouched || m.rss == 0) continue;
        if (::madvise(reinterpret_cast<void*>(m.start), m.end - m.start, MADV_DONTNEED) == 0)
            released += m.rss;
    }
    return released;
}

WorkingSetTrimmer::WorkingSetTrimmer() {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [] { releaseUnusedMemory(); });
    QCoreApplication::instance()->installEventFilter(this);
}

// Labels and menus come and go with every switch; only a dialog's closing is worth a trim.
bool WorkingSetTrimmer::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if ((type == QEvent::Hide || type == QEvent::Show) && watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        if (!widget->isWindow() || widget->windowType() != Qt::Dialog) return false;
        if (type == QEvent::Hide)
            timer_.start(kAfterCloseMs);
        else
            timer_.stop(); // its pages are in use again
    }
    return false;
}

} // namespace sm

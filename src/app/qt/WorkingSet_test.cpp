#include "app/qt/WorkingSet.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

namespace sm {
namespace {

// The resident kilobytes of the mapping at `address`, from the kernel's own account.
long residentKb(const void* address) {
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly)) return -1;
    const auto at = reinterpret_cast<quintptr>(address);
    bool inside = false;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const QByteArray first = line.left(line.indexOf(' '));
        if (const qsizetype dash = first.indexOf('-'); dash > 0 && !first.endsWith(':'))
            inside = first.left(dash).toULongLong(nullptr, 16) <= at &&
                     at < first.mid(dash + 1).toULongLong(nullptr, 16);
        else if (inside && first == "Rss:")
            return line.mid(4).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Dropping a copied page of a private mapping would bring back the file's bytes where the program
// had written its own (relocations are such pages); only clean file pages may go.
TEST(WorkingSet, LetsGoOfCleanFilePagesAndKeepsWrittenOnes) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    const qsizetype size = 64 * 1024;
    ASSERT_EQ(file.write(QByteArray(size, 'a')), size);
    file.flush();
    ::fsync(file.handle()); // pages still to be written count as dirty, and dirty ones are kept
    auto map = [&](int protection) {
        return static_cast<char*>(::mmap(nullptr, size, protection, MAP_PRIVATE, file.handle(), 0));
    };
    char* clean = map(PROT_READ);
    char* written = map(PROT_READ | PROT_WRITE);
    ASSERT_NE(clean, MAP_FAILED);
    ASSERT_NE(written, MAP_FAILED);
    long sum = 0;
    for (qsizetype i = 0; i < size; i += 4096)
        sum += clean[i];
    written[0] = 'b';
    ASSERT_EQ(::mprotect(written, size, PROT_READ), 0); // read-only now, as relocated data ends up
    ASSERT_GT(residentKb(clean), 0) << sum;

    EXPECT_GT(releaseUnusedMemory(), 0);
    EXPECT_EQ(residentKb(clean), 0);
    EXPECT_EQ(written[0], 'b');
    EXPECT_EQ(clean[0], 'a'); // comes back at the next touch
    ::munmap(clean, size);
    ::munmap(written, size);
}

} // namespace
} // namespace sm

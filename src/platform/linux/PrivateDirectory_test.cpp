#include "platform/linux/PrivateDirectory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sm;

namespace {

bool chmodTo(const QString& path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

TEST(PrivateDirectory, CreatesMissingDirectoryOwnerOnlyWhateverTheUmask) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("spacemarquee");
    const mode_t oldMask = ::umask(0);
    const PrivateDirectory dir = PrivateDirectory::ensure(path);
    ::umask(oldMask);
    ASSERT_EQ(dir.path, path) << dir.error.toStdString();
    EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    EXPECT_TRUE(PrivateDirectory::ensure(path).isUsable()); // and accepts it on the next launch
}

TEST(PrivateDirectory, RefusesWhatSomeoneElseCouldHavePlantedAtItsName) {
    // false: the case cannot be set up here (a foreign owner needs root).
    const std::pair<const char*, std::function<bool(const QString&, const QString&)>> cases[] = {
        {"open to others",
         [](const QString& p, const QString&) { return QDir().mkdir(p) && chmodTo(p, 0755); }},
        {"symlink to a private dir",
         [](const QString& p, const QString& s) {
             return QDir().mkdir(s) && chmodTo(s, 0700) && QFile::link(s, p);
         }},
        {"regular file",
         [](const QString& p, const QString&) { return QFile(p).open(QIODevice::WriteOnly); }},
        {"foreign owner",
         [](const QString& p, const QString&) {
             return QDir().mkdir(p) && chmodTo(p, 0700) &&
                    ::chown(QFile::encodeName(p).constData(), ::geteuid() + 1, ::getegid()) == 0;
         }},
    };
    for (const auto& [name, plant] : cases) {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("spacemarquee");
        if (!plant(path, tmp.filePath("scratch"))) continue;
        const PrivateDirectory dir = PrivateDirectory::ensure(path);
        EXPECT_FALSE(dir.isUsable()) << name;
        EXPECT_TRUE(dir.error.startsWith(path + ": ")) << name << ": " << dir.error.toStdString();
    }
}

TEST(PrivateDirectory, UsesTheRuntimeDirectoryOnlyWhenItIsPrivateAndAbsolute) {
    QTemporaryDir runtime;
    const QString fallback = QStringLiteral("/tmp/spacemarquee-%1").arg(::geteuid());
    ASSERT_TRUE(chmodTo(runtime.path(), 0700));
    EXPECT_EQ(PrivateDirectory::standardPathFor(runtime.path()), runtime.path() + "/spacemarquee");
    for (const QString& unusable : {QString(), QString("relative/run"), runtime.filePath("missing")})
        EXPECT_EQ(PrivateDirectory::standardPathFor(unusable), fallback) << unusable.toStdString();
    ASSERT_TRUE(chmodTo(runtime.path(), 0750));
    EXPECT_EQ(PrivateDirectory::standardPathFor(runtime.path()), fallback);
}

} // namespace

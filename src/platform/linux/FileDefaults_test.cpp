#include "platform/linux/FileDefaults.h"
#include "support/sim/CapturingSystemLog.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace sm;

namespace {

struct FileDefaultsTest : ::testing::Test {
    QTemporaryDir tmp;
    std::shared_ptr<CapturingSystemLog> log = std::make_shared<CapturingSystemLog>();

    std::unique_ptr<FileDefaults> open(const QString& directory) {
        return std::make_unique<FileDefaults>(directory, log,
                                              [] { return QDateTime(QDate(2024, 3, 5), QTime(14, 3, 7)); });
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : "<missing>";
    }
    static void write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

TEST_F(FileDefaultsTest, TypedValuesSurviveARelaunchAndAbsentStaysAbsent) {
    const QByteArray tags =
        QJsonDocument::fromJson(R"([{"id":"A1","title":"Work"}])").toJson(QJsonDocument::Compact);
    const std::pair<QString, DefaultsValue> values[] = {
        {"bool", false},
        {"int.zero", qint64(0)},
        {"int.max", std::numeric_limits<qint64>::max()},
        {"int.min", std::numeric_limits<qint64>::min()},
        {"double", 0.1},
        {"double.integral", 3.0},
        {"double.inf", -std::numeric_limits<double>::infinity()},
        {"string.empty", QString()},
        {"string", QString::fromUtf8("«q» \"x\"\n\\")},
        {"bytes.tags", tags},
        {"bytes.loose-json", QByteArray(R"({ "b": 1, "a": 2 })")},
        {"bytes.binary", QByteArray("\x00\xff{", 3)},
    };
    const QString dir = tmp.filePath("config/spacemarquee");
    {
        auto d = open(dir);
        for (const auto& [key, v] : values)
            EXPECT_TRUE(d->setValue(key, v)) << key.toStdString();
        EXPECT_TRUE(d->setValue("removed", true) && d->remove("removed"));
        d->waitForWrites();
        const int writes = d->fileWrites();
        EXPECT_TRUE(d->setValues({{"many.a", true}, {"many.b", qint64(2)}}));
        d->waitForWrites();
        EXPECT_EQ(d->fileWrites(), writes + 1) << "several values, one replace of the file";
    } // waits for the last write
    auto d = open(dir);
    for (const auto& [key, v] : values)
        EXPECT_EQ(d->value(key), v) << key.toStdString();
    EXPECT_EQ(d->value("removed"), std::nullopt);

    // Atomic writes leave only the file behind, private to the user, with tag names readable.
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"defaults.json"});
    EXPECT_EQ(QFile::permissions(d->filePath()),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_TRUE(read(d->filePath()).contains(R"("title": "Work")"));
    EXPECT_TRUE(log->entries.empty());
}

TEST_F(FileDefaultsTest, UnreadableFileIsCopiedAsideIntactBeforeAnythingReplacesIt) {
    const struct {
        const char* name;
        QByteArray bytes;
        bool goodSurvives;
    } cases[] = {
        {"truncated", R"({"version": 1, "values": {"good": {"bool": tr)", false},
        {"empty", "", false},
        {"array", "[1, 2]", false},
        {"unknown version", R"({"version": 2, "values": {"good": {"int": 5}}})", false},
        {"values not an object", R"({"version": 1, "values": [true]})", false},
        {"bad entries among good", R"({"version": 1, "values": {"good": {"int": 5}, "bad": {"bool": "yes"},
                                      "odd": {"int": 1.5}}})",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir t;
        write(t.filePath("defaults.json"), c.bytes);
        log->clear();
        auto d = open(t.path());
        EXPECT_EQ(d->contains("good"), c.goodSurvives);
        EXPECT_FALSE(d->contains("bad") || d->contains("odd"));
        EXPECT_EQ(log->messages(LogCategory::Storage).size(), 1);
        EXPECT_TRUE(d->setValue("after", true));
        d->waitForWrites();
        EXPECT_EQ(open(t.path())->boolValue("after"), true);

        // A second bad file in the same second gets its own copy; the first is never overwritten.
        write(t.filePath("defaults.json"), "again");
        open(t.path());
        EXPECT_EQ(read(t.filePath("defaults.unreadable-20240305-140307.json")), c.bytes);
        EXPECT_EQ(read(t.filePath("defaults.unreadable-20240305-140307-2.json")), "again");
    }
}

TEST_F(FileDefaultsTest, UnreadableFileThatCannotBeCopiedAsideIsNeverReplaced) {
    write(tmp.filePath("defaults.json"), "garbage");
    write(tmp.filePath("defaults.unreadable-20240305-140307.json"), "taken");
    for (int n = 2; n <= 100; ++n)
        write(tmp.filePath("defaults.unreadable-20240305-140307-%1.json").arg(n), "taken");
    auto d = open(tmp.path());
    EXPECT_FALSE(d->setValue("k", true));
    EXPECT_EQ(d->boolValue("k"), true);
    EXPECT_EQ(read(tmp.filePath("defaults.json")), "garbage");
}

// Dotfile managers plant links, and anything may sit at the name. Nothing may hang the start (a FIFO
// opened for reading blocks) or leave a session whose changes vanish.
TEST_F(FileDefaultsTest, WhatIsNotARegularFileNeverBlocksTheStartOrLosesTheSession) {
    const auto link = [](const char* target) {
        return [target](const QString& at) { return ::symlink(target, qPrintable(at)) == 0; };
    };
    const struct {
        std::function<bool(const QString&)> plant;
        bool readThrough;
        const char* holdsData; // after a write
    } cases[] = {
        {link("dots/real.json"), true, "dots/real.json"},
        {link("dots/new.json"), false, "dots/new.json"},
        {link("missing/new.json"), false, "defaults.json"},
        {[](const QString& at) { return ::mkfifo(qPrintable(at), 0600) == 0; }, false, "defaults.json"},
        {[](const QString& at) { return QDir().mkdir(at); }, false, "defaults.json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.holdsData);
        QTemporaryDir t;
        const QDir d(t.path());
        d.mkdir("dots");
        write(d.filePath("dots/real.json"), R"({"version": 1, "values": {"good": {"int": 5}}})");
        ASSERT_TRUE(c.plant(d.filePath("defaults.json")));
        auto defaults = open(t.path());
        EXPECT_EQ(defaults->contains("good"), c.readThrough);
        EXPECT_TRUE(defaults->setValue("after", true));
        defaults->waitForWrites();
        EXPECT_TRUE(read(d.filePath(c.holdsData)).contains("after"));
        EXPECT_EQ(open(t.path())->boolValue("after"), true);
        const QFileInfo aside(d.filePath("defaults.unreadable-20240305-140307.json"));
        EXPECT_EQ(aside.exists() || aside.isSymLink(), c.holdsData == QLatin1String("defaults.json"))
            << "what could not be used is kept";
    }
}

// Stands in for a read-only directory or full disk; root would write through a read-only mode. The
// waiter hears the system's reason; values stay in memory; each problem is logged once.
TEST_F(FileDefaultsTest, UnwritableLocationKeepsValuesInMemoryAndTellsWhy) {
    write(tmp.filePath("not-a-directory"), "");
    auto d = open(tmp.filePath("not-a-directory/spacemarquee"));
    QStringList told;
    for (const bool on : {true, false}) {
        d->setValue("Spacemarquee.VerboseTracing", on);
        d->whenDurable([&told](const QString& problem) { told << problem; });
        d->waitForWrites();
    }
    EXPECT_EQ(told, QStringList(2, "Not a directory"));
    EXPECT_EQ(d->boolValue("Spacemarquee.VerboseTracing"), false);
    EXPECT_EQ(log->messages(LogCategory::Storage).size(), 1);
}

// Writes happen off the caller's thread, yet a waiter hears of its change only once the file holds
// it, and changes made meanwhile are carried by one later write.
TEST_F(FileDefaultsTest, WaitersHearOnlyOnceTheFileHoldsTheirChange) {
    auto d = open(tmp.path());
    QList<QByteArray> onDisk;
    for (int i = 0; i < 20; ++i) {
        d->setValue("n", qint64(i));
        d->whenDurable([&, i](const QString& problem) {
            EXPECT_TRUE(problem.isEmpty());
            const auto stored = open(tmp.path())->intValue("n");
            EXPECT_GE(stored.value_or(-1), i);
            onDisk << QByteArray::number(i);
        });
    }
    d->waitForWrites();
    EXPECT_EQ(onDisk.size(), 20);
    EXPECT_LE(d->fileWrites(), 20);
    bool toldAtOnce = false;
    d->whenDurable([&](const QString&) { toldAtOnce = true; });
    EXPECT_TRUE(toldAtOnce) << "nothing waits, so nothing to wait for";
}

} // namespace

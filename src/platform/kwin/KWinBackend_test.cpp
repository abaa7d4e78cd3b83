// The KWin backend on a private headless KWin (Wayland, virtual backend) with three desktops.
#include "platform/kwin/KWinPanels.h"
#include "platform/kwin/KWinWindowServer.h"
#include "support/CoreRun.h"
#include "support/ShowLabel.h"
#include "support/WaitUntil.h"
#include "support/kwin/KWinTestSession.h"
#include "support/sim/MemoryDefaults.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace sm::kwin {
namespace {

test::KWinTestSession* session = nullptr;
using sm::test::waitUntil;

class KWinBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(session->switchTo(0));
        QString error;
        server = KWinWindowServer::create({Logger{}, scripts.path()}, &error);
        ASSERT_TRUE(server) << error.toStdString() << session->log().right(2000).toStdString();
        ASSERT_TRUE(waitUntil([&] { return server->currentDesktop() == desktopId(0); }));
    }
    void TearDown() override { server.reset(); }

    static QString desktopId(int index) { return session->desktops().value(index).first; }
    void switchTo(int index) {
        ASSERT_TRUE(session->switchTo(index));
        ASSERT_TRUE(waitUntil([&] { return server->currentDesktop() == desktopId(index); })) << index;
    }
    std::unique_ptr<LabelPanel> label(const QString& title, QPointF origin = {200, 500}) {
        return sm::test::showLabel(*server, title, origin);
    }

    QTemporaryDir scripts;
    std::shared_ptr<KWinWindowServer> server;
};

TEST_F(KWinBackendTest, SeesTheDesktopsAndFollowsEverySwitchByKWinsSignal) {
    ASSERT_EQ(server->desktops().size(), 3);
    int announced = 0;
    auto connection = server->activeDesktopChanged.connect([&] { ++announced; });
    for (const int index : {1, 2, 0, 2}) {
        switchTo(index);
        EXPECT_EQ(server->activePlace()->desktop, index);
    }
    EXPECT_EQ(announced, 4);
}

TEST_F(KWinBackendTest, LabelsLandOnTheirDesktopsAndTheFactsFollowTheSwitches) {
    std::vector<std::unique_ptr<LabelPanel>> labels;
    for (int i = 0; i < 3; ++i) {
        switchTo(i);
        labels.push_back(label(QStringLiteral("Desk %1").arg(i + 1)));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(server->desktopOf(*labels[i]), desktopId(i)) << i;
        ASSERT_TRUE(waitUntil([&] { return server->reportedPlace(*labels[i]).has_value(); })) << i;
        EXPECT_EQ(server->reportedPlace(*labels[i])->first, desktopId(i)) << "KWin's own word, label " << i;
        EXPECT_EQ(server->reportedPlace(*labels[i])->second, QRect(200, 800 - 500 - 90, 260, 90)) << i;
    }
    for (const int index : {0, 2, 1}) {
        switchTo(index);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(labels[i]->isOnActiveSpace(), i == index) << index << " " << i;
            EXPECT_EQ(labels[i]->isVisible(), i == index) << index << " " << i;
        }
    }
}

} // namespace
} // namespace sm::kwin

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QString why;
    auto session = sm::kwin::test::KWinTestSession::start(3, &why);
    if (!session) {
        std::printf("SKIPPED: no headless KWin: %s\n", why.toLocal8Bit().constData());
        return 77; // CTest's SKIP_RETURN_CODE for this test
    }
    sm::kwin::session = session.get();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}

#include "app/BackendChoice.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace sm {
namespace {

// `answering`: the probes that find their backend usable; every other says "no NAME". "lacking" is a
// Wayland compositor that is there without what the generic backend needs.
BackendFacts desktop(const char* forced, const char* session, const QString& answering, QStringList* asked) {
    BackendFacts f;
    f.forced = QLatin1String(forced);
    const QStringList kinds = QString::fromLatin1(session).split(u' ');
    f.onWayland = kinds.contains(u"wayland");
    f.gnomeDesktop = kinds.contains(u"gnome");
    f.swaySession = kinds.contains(u"swaysock");
    const auto probe = [=](const QString& name) {
        return [=] {
            asked->append(name);
            return answering.split(u' ').contains(name) ? QString() : QStringLiteral("no ") + name;
        };
    };
    f.kwin = probe(QStringLiteral("kwin"));
    f.sway = probe(QStringLiteral("sway"));
    f.gnome = probe(QStringLiteral("gnome"));
    f.x11 = probe(QStringLiteral("x11"));
    f.xwayland = probe(QStringLiteral("xwayland"));
    f.wayland = [=, p = probe(QStringLiteral("wayland"))](bool* answered) {
        *answered = answering.split(u' ').contains(u"lacking");
        return p();
    };
    return f;
}

TEST(BackendChoice, TakesTheFirstThatAnswersAsksNoMoreThanNeededAndSaysWhyWhenNoneDoes) {
    const struct {
        const char* forced;
        const char* session;
        const char* answering;
        std::optional<Backend> backend;
        bool xwayland, bridgeMissing;
        const char* asked;
        const char* problem;
    } cases[] = {
        {"", "x11", "x11", Backend::x11, false, false, "kwin sway x11", ""},
        {"", "x11 gnome", "x11", Backend::x11, false, false, "kwin sway x11", ""},
        {"", "wayland", "kwin", Backend::kwin, false, false, "kwin", ""},
        {"", "wayland swaysock", "sway", Backend::sway, false, false, "kwin sway", ""},
        {"", "wayland gnome", "gnome xwayland", Backend::gnome, false, false, "kwin sway gnome", ""},
        {"", "wayland gnome", "xwayland", Backend::x11, true, true, "kwin sway gnome xwayland", ""},
        {"", "wayland gnome", "", std::nullopt, false, true, "kwin sway gnome xwayland x11", "no gnome"},
        {"", "wayland", "wayland", Backend::wayland, false, false, "kwin sway gnome wayland", ""},
        {"", "wayland", "lacking", std::nullopt, false, false, "kwin sway gnome wayland x11", "no wayland"},
        {"", "wayland swaysock", "", std::nullopt, false, false, "kwin sway gnome wayland x11", "no sway"},
        {"kwin", "x11", "", Backend::kwin, false, false, "", ""},
        {"sway", "wayland", "x11", std::nullopt, false, false, "sway", "SPACEMARQUEE_BACKEND=sway cannot be used: no sway"},
        {"gnome", "wayland gnome", "xwayland", std::nullopt, false, true, "gnome",
         "SPACEMARQUEE_BACKEND=gnome cannot be used: no gnome"},
        {"wayland", "wayland gnome", "wayland", Backend::wayland, false, false, "wayland", ""},
        // X11 asked for on GNOME's Wayland session: through Xwayland, the bridge not asked for.
        {"x11", "wayland gnome", "gnome xwayland", Backend::x11, true, false, "xwayland", ""},
        {"x11", "wayland gnome", "x11", std::nullopt, false, false, "xwayland",
         "SPACEMARQUEE_BACKEND=x11 cannot be used: no xwayland"},
        {"x11", "wayland", "xwayland", std::nullopt, false, false, "x11", "SPACEMARQUEE_BACKEND=x11 cannot be used: no x11"},
        {"mir", "x11", "x11", std::nullopt, false, false, "",
         "SPACEMARQUEE_BACKEND=mir cannot be used: the backends are kwin, sway, gnome, wayland and x11"},
    };
    for (const auto& c : cases) {
        QStringList asked;
        const BackendChoice choice = chooseBackend(desktop(c.forced, c.session, QLatin1String(c.answering), &asked));
        const std::string what = std::string(c.forced) + " on " + c.session + " answering " + c.answering;
        EXPECT_EQ(choice.backend, c.backend) << what;
        EXPECT_EQ(choice.xwayland, c.xwayland) << what;
        EXPECT_EQ(choice.bridgeMissing, c.bridgeMissing) << what;
        EXPECT_EQ(asked.join(u' ').toStdString(), c.asked) << what;
        EXPECT_EQ(choice.problem.toStdString(), c.problem) << what;
    }
}

} // namespace
} // namespace sm

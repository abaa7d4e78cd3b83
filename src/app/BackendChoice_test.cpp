#include "app/BackendChoice.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace sm {
namespace {

// What each probe answers: empty when its backend can be used. `answered`: a Wayland compositor is
// there without what the generic backend needs.
struct Desktop {
    QString kwin = "no KWin", sway = "no sway", gnome = "no bridge", wayland = "no ext-workspace", x11 = "no X11",
            xwayland = "no Xwayland";
    bool answered = false;
};

struct Case {
    const char* what;
    BackendFacts facts; // the probes are filled in from `desktop`
    Desktop desktop;
    std::optional<Backend> backend;
    bool xwayland;
    bool bridgeMissing;
    const char* asked;   // the probes asked, in order: the others cost nothing
    const char* problem; // when none can be used
};

BackendFacts withProbes(BackendFacts facts, const Desktop& d, QStringList* asked) {
    const auto probe = [asked](const char* name, QString answer) {
        return [=] {
            asked->append(QLatin1String(name));
            return answer;
        };
    };
    facts.kwin = probe("kwin", d.kwin);
    facts.sway = probe("sway", d.sway);
    facts.gnome = probe("gnome", d.gnome);
    facts.x11 = probe("x11", d.x11);
    facts.xwayland = probe("xwayland", d.xwayland);
    facts.wayland = [=](bool* answered) {
        asked->append(QStringLiteral("wayland"));
        *answered = d.answered;
        return d.wayland;
    };
    return facts;
}

BackendFacts facts(const char* forced, bool wayland, bool gnome = false, bool swaySocket = false) {
    BackendFacts f;
    f.forced = QLatin1String(forced);
    f.onWayland = wayland;
    f.gnomeDesktop = gnome;
    f.swaySession = swaySocket;
    return f;
}

TEST(BackendChoice, TakesTheFirstThatAnswersAndSaysWhyWhenNoneDoes) {
    const QString bridgeOff = QStringLiteral("GNOME bridge missing");
    const Case cases[] = {
        {"X11 session", facts("", false), {.x11 = ""}, Backend::x11, false, false, "kwin sway x11", nullptr},
        {"GNOME under X11", facts("", false, true), {.x11 = ""}, Backend::x11, false, false, "kwin sway x11", nullptr},
        {"KWin", facts("", true), {.kwin = ""}, Backend::kwin, false, false, "kwin", nullptr},
        {"sway", facts("", true, false, true), {.sway = ""}, Backend::sway, false, false, "kwin sway", nullptr},
        {"GNOME with its bridge", facts("", true, true), {.gnome = ""}, Backend::gnome, false, false,
         "kwin sway gnome", nullptr},
        {"GNOME on Wayland without the bridge", facts("", true, true), {.xwayland = ""}, Backend::x11, true, true,
         "kwin sway gnome xwayland", nullptr},
        {"GNOME without the bridge or Xwayland", facts("", true, true), {.gnome = bridgeOff}, std::nullopt, false,
         true, "kwin sway gnome xwayland x11", "GNOME bridge missing"},
        {"another compositor", facts("", true), {.wayland = ""}, Backend::wayland, false, false,
         "kwin sway gnome wayland", nullptr},
        {"a compositor lacking a protocol", facts("", true), {.answered = true}, std::nullopt, false, false,
         "kwin sway gnome wayland x11", "no ext-workspace"},
        {"sway that does not answer", facts("", true, false, true), {}, std::nullopt, false, false,
         "kwin sway gnome wayland x11", "no sway"},
        {"nothing at all", facts("", false), {}, std::nullopt, false, false, "kwin sway x11", "no X11"},
        // Forced.
        {"KWin forced", facts("kwin", false), {}, Backend::kwin, false, false, "", nullptr},
        {"sway forced, absent", facts("sway", true), {.x11 = ""}, std::nullopt, false, false, "sway",
         "SPACEMARQUEE_BACKEND=sway cannot be used: no sway"},
        {"GNOME forced without the bridge", facts("gnome", true, true), {.gnome = bridgeOff, .xwayland = ""},
         std::nullopt, false, true, "gnome", "SPACEMARQUEE_BACKEND=gnome cannot be used: GNOME bridge missing"},
        {"Wayland forced on GNOME", facts("wayland", true, true), {.wayland = ""}, Backend::wayland, false, false,
         "wayland", nullptr},
        {"X11 forced on GNOME's Wayland session", facts("x11", true, true), {.gnome = "", .xwayland = ""},
         Backend::x11, true, false, "xwayland", nullptr},
        {"X11 forced on GNOME without Xwayland", facts("x11", true, true), {.x11 = ""}, std::nullopt, false, false,
         "xwayland", "SPACEMARQUEE_BACKEND=x11 cannot be used: no Xwayland"},
        {"X11 forced on another compositor", facts("x11", true), {.xwayland = ""}, std::nullopt, false, false,
         "x11", "SPACEMARQUEE_BACKEND=x11 cannot be used: no X11"},
        {"an unknown backend", facts("mir", false), {.x11 = ""}, std::nullopt, false, false, "",
         "SPACEMARQUEE_BACKEND=mir cannot be used: the backends are kwin, sway, gnome, wayland and x11"},
    };
    for (const auto& c : cases) {
        QStringList asked;
        const BackendChoice choice = chooseBackend(withProbes(c.facts, c.desktop, &asked));
        EXPECT_EQ(choice.backend, c.backend) << c.what;
        EXPECT_EQ(choice.xwayland, c.xwayland) << c.what;
        EXPECT_EQ(choice.bridgeMissing, c.bridgeMissing) << c.what;
        EXPECT_EQ(asked.join(u' ').toStdString(), c.asked) << c.what;
        EXPECT_EQ(choice.problem.toStdString(), c.problem ? c.problem : "") << c.what;
    }
}

} // namespace
} // namespace sm

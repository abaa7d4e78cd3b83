#include "model/ModelJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace sm;

namespace {

// A stored list of one tag with every required key except `drop`, plus `extra` (a repeated key wins).
QByteArray tagList(const QString& extra = {}, const char* drop = "") {
    QJsonObject tag{{"id", "6BA7B810-9DAD-11D1-80B4-00C04FD430C8"},
                    {"title", "Mail"},
                    {"displayIndex", 2},
                    {"lastSeenAt", 800000000.5}};
    tag.remove(QLatin1String(drop));
    QByteArray json = QJsonDocument(QJsonArray{tag}).toJson(QJsonDocument::Compact);
    if (!extra.isEmpty()) json.insert(json.size() - 2, "," + extra.toUtf8());
    return json;
}

} // namespace

TEST(ModelJson, TagDecodingRules) {
    const struct {
        QByteArray json;
        bool decodes;
    } cases[] = {
        {tagList(), true},
        {tagList(R"("id":"6ba7b810-9dad-11d1-80b4-00c04fd430c8")"), true},
        {tagList(R"("id":"00000000-0000-0000-0000-000000000000")"), true},
        {tagList(R"("position":null,"screenIdentifier":null,"isUserOwned":null)"), true},
        {tagList(R"("displayIndex":3.0)"), true},
        {"[]", true},
        {tagList({}, "lastSeenAt"), false},
        {tagList({}, "displayIndex"), false},
        {tagList({}, "id"), false},
        {tagList(R"("title":null)"), false},
        {tagList(R"("id":"{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}")"), false},
        {tagList(R"("id":"6BA7B8109DAD11D180B400C04FD430C8")"), false},
        {tagList(R"("id":"6BA7B810-9DAD-11D1-80B4-00C04FD430CG")"), false},
        {tagList(R"("displayIndex":2.5)"), false},
        {tagList(R"("displayIndex":"2")"), false},
        {tagList(R"("lastSeenAt":"yesterday")"), false},
        {tagList(R"("position":[1])"), false},
        {tagList(R"("position":[1,2,3])"), false},
        {tagList(R"("position":[1,"2"])"), false},
        {tagList(R"("screenIdentifier":5)"), false},
        {tagList(R"("isUserOwned":"yes")"), false},
        {tagList(R"("isTombstone":1)"), false},
        {tagList().chopped(1) + R"(,{"title":"x"}])", false}, // one bad tag fails the whole list
        {"[1]", false},
        {"{}", false},
        {"Mail", false},
    };
    for (const auto& c : cases) {
        const auto result = ModelJson::decodeTags(c.json);
        EXPECT_EQ(result.value.has_value(), c.decodes)
            << c.json.toStdString() << " " << result.error.toStdString();
        EXPECT_EQ(result.error.isEmpty(), c.decodes) << c.json.toStdString();
    }
    SpaceTag expected; // absent ownership keys: user-owned, not a tombstone
    expected.id = QUuid::fromString(QStringLiteral("6BA7B810-9DAD-11D1-80B4-00C04FD430C8"));
    expected.title = "Mail", expected.displayIndex = 2, expected.lastSeenAt = 800000000.5;
    EXPECT_EQ(ModelJson::decodeTags(tagList()).value, QList<SpaceTag>{expected});
}

TEST(ModelJson, SettingsDecodingRules) {
    using Edit = std::function<void(AppSettings&)>;
    const Edit none = [](AppSettings&) {};
    const struct {
        const char* json;
        bool decodes;
        Edit expected;
    } cases[] = {
        // clang-format off
        {"{}", true, none},
        {R"({"unknownFutureKey":[1,2],"fontSize":null,"visibilityMode":null,"perScreen":null})", true, none},
        {R"({"fontSize":500})", true, [](AppSettings& s) { s.fontSize = 500; }},
        {R"({"visibilityMode":"onCtrl"})", true, [](AppSettings& s) { s.visibilityMode = VisibilityMode::onCtrl; }},
        {R"({"windowNameGuessing":2})", true, [](AppSettings& s) { s.windowNameGuessing = WindowNameGuessing::anyApp; }},
        {R"({"windowNameGuessing":7})", true, none},
        {R"({"autoTagFromFrontmostWindow":true})", true, [](AppSettings& s) {
            s.autoTagFromFrontmostWindow = true, s.windowNameGuessing = WindowNameGuessing::terminalOnly; }},
        {R"({"autoTagFromFrontmostWindow":true,"windowNameGuessing":0})", true,
         [](AppSettings& s) { s.autoTagFromFrontmostWindow = true; }},
        {R"({"perScreen":{"S":{"magnifyScale":0.2}}})", true, [](AppSettings& s) { s.perScreen["S"].magnifyScale = 0.2; }},
        {R"({"shareDesktopNames":false})", true, [](AppSettings& s) { s.shareDesktopNames = false; }},
        {R"({"visibilityMode":"sometimes"})", false, none},
        {R"({"visibilityMode":1})", false, none},
        {R"({"windowNameGuessing":1.5})", false, none},
        {R"({"windowNameGuessing":"2"})", false, none},
        {R"({"windowNameGuessing":1e30})", false, none},
        {R"({"fontSize":"64"})", false, none},
        {R"({"magnifyWhenUnfocused":1})", false, none},
        {R"({"syncedPosition":{"x":1,"y":2}})", false, none},
        {R"({"fontSizeRefScreen":7})", false, none},
        {R"({"perScreen":{"S":null}})", false, none},
        {R"({"perScreen":{"S":{"fontSize":"x"}}})", false, none},
        {R"({"screenCensus":{"A":{"localizedName":"X","width":1,"height":2}}})", false, none},
        {"[]", false, none},
        {"{\"fontSize\":", false, none},
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto result = ModelJson::decodeSettings(c.json);
        ASSERT_EQ(result.value.has_value(), c.decodes) << c.json << " " << result.error.toStdString();
        AppSettings expected;
        c.expected(expected);
        if (c.decodes) {
            EXPECT_EQ(*result.value, expected) << c.json;
        }
    }
}

TEST(ModelJson, WrittenFormLeavesOutAbsentOptionalsAndUsesUpperCaseIds) {
    SpaceTag tag;
    tag.id = QUuid::fromString(QStringLiteral("6ba7b810-9dad-11d1-80b4-00c04fd430c8"));
    tag.title = "Mail", tag.displayIndex = 2, tag.lastSeenAt = 123.25, tag.isUserOwned = false;
    QJsonObject expected{{"id", "6BA7B810-9DAD-11D1-80B4-00C04FD430C8"},
                         {"title", "Mail"},
                         {"displayIndex", 2},
                         {"lastSeenAt", 123.25},
                         {"isUserOwned", false},
                         {"isTombstone", false}};
    EXPECT_EQ(QJsonDocument::fromJson(*ModelJson::encodeTags({tag}).value).array(), QJsonArray{expected});

    tag.position = QPointF(12.5, 800);
    tag.screenIdentifier = "37D8832A";
    const QByteArray placed = *ModelJson::encodeTags({tag}).value;
    expected["position"] = QJsonArray{12.5, 800};
    expected["screenIdentifier"] = "37D8832A";
    EXPECT_EQ(QJsonDocument::fromJson(placed).array(), QJsonArray{expected});

    const QJsonObject settings =
        QJsonDocument::fromJson(*ModelJson::encodeSettings(AppSettings()).value).object();
    EXPECT_EQ(settings.size(), 18) << "21 fields less the three unset optionals";
    EXPECT_FALSE(settings.contains("syncedPosition") || settings.contains("fontSizeRefScreen") ||
                 settings.contains("syncedPositionRefScreen"));
    EXPECT_EQ(settings["visibilityMode"], "always");
    EXPECT_EQ(settings["windowNameGuessing"], 0);
}

TEST(ModelJson, NumbersJsonCannotHoldFailTheEncoding) {
    SpaceTag tag;
    tag.lastSeenAt = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(ModelJson::encodeTags({SpaceTag{}, tag}).error, "tags[1].lastSeenAt: not a finite number");
    AppSettings s;
    s.perScreen["S"].position = QPointF(0, std::numeric_limits<double>::infinity());
    EXPECT_FALSE(ModelJson::encodeSettings(s));
}

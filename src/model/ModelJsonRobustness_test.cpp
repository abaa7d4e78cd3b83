// Stored documents come from a file that a user, a crash or another program may have mangled. Both
// decoders get thousands of hostile inputs from a fixed seed: they must never crash (CI also runs this
// under ASan and UBSan), and whatever they accept must survive a save and a reload unchanged.
#include "model/ModelJson.h"

#include <gtest/gtest.h>

#include <random>

using namespace sm;

namespace {

const QByteArray kDocuments[] = {
    R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8","title":"Mail","position":[12.5,800],"displayIndex":2,)"
    R"("screenIdentifier":"37D8832A","lastSeenAt":800000000.5,"isUserOwned":false,"isTombstone":false}])",
    R"({"visibilityMode":"onChange","fontSize":72,"windowNameGuessing":1,"syncedPosition":[1,2],)"
    R"("screenCensus":{"A":{"localizedName":"X","width":1,"height":2,"lastSeenAt":3}},)"
    R"("perScreen":{"A":{"fontSize":30,"position":[4,5]}},"fontSizeRefScreen":"A"})",
};
const QByteArray kHostileValues[] = {
    "1e400", "-1e400",  "NaN",       "\"NaN\"",    "Infinity",     "1e308",    "-0", "9223372036854775808",
    "2.5",   "null",    "true",      "\"\"",       "\"\xff\xfe\"", "\"\xc3\"", "[]", "{}",
    "[1]",   "[1,2,3]", "{\"x\":1}", "\"onCtrl\"", "\"\\u0000\""};

struct Hostile {
    std::mt19937 rng{20240601};

    int pick(qsizetype n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, int(n) - 1)(rng); }
    QByteArray nested(int depth) {
        const bool objects = pick(2);
        return QByteArray(objects ? "{\"perScreen\":" : "[").repeated(depth) + "1" +
               QByteArray(objects ? "}" : "]").repeated(depth);
    }
    QByteArray value() {
        return pick(8) ? kHostileValues[pick(std::size(kHostileValues))] : nested(pick(600));
    }

    QByteArray next() {
        QByteArray doc = kDocuments[pick(2)];
        const int edits = 1 + pick(4);
        switch (pick(5)) {
        case 0: // random bytes
            doc.resize(pick(64));
            for (auto& byte : doc)
                byte = char(pick(256));
            return doc;
        case 1:
            return doc.left(pick(doc.size())); // a write cut short
        case 2:
            return nested(pick(3000));
        case 3: // wrong types at any key, inside arrays and nested objects
            for (int n = 0; n < edits; ++n) {
                const qsizetype start = doc.indexOf(pick(2) ? ':' : '[', pick(doc.size())) + 1;
                qsizetype end = start;
                while (start > 0 && end < doc.size() && !QByteArray(",}]").contains(doc[end]))
                    ++end;
                if (start > 0) doc.replace(start, end - start, value());
            }
            return doc;
        default: // byte-level damage
            for (int n = 0; n < edits && !doc.isEmpty(); ++n) {
                const int at = pick(doc.size()), how = pick(3);
                if (how == 0) doc[at] = char(pick(256));
                if (how == 1) doc.remove(at, 1 + pick(8));
                if (how == 2) doc.insert(at, value());
            }
            return doc;
        }
    }
};

} // namespace

TEST(ModelJsonRobustness, HostileDocumentsNeverCrashAndAcceptedOnesSurviveASaveAndReload) {
    Hostile source;
    int acceptedTags = 0, acceptedSettings = 0;
    for (int i = 0; i < 6000; ++i) {
        const QByteArray input = source.next();
        if (const auto tags = ModelJson::decodeTags(input)) {
            ++acceptedTags;
            EXPECT_EQ(ModelJson::decodeTags(ModelJson::encodeTags(*tags.value).value.value()).value,
                      tags.value)
                << input.toStdString();
        }
        if (const auto settings = ModelJson::decodeSettings(input)) {
            ++acceptedSettings;
            EXPECT_EQ(
                ModelJson::decodeSettings(ModelJson::encodeSettings(*settings.value).value.value()).value,
                settings.value)
                << input.toStdString();
        }
    }
    // Enough inputs must get through for the round-trip check to mean anything.
    EXPECT_GT(acceptedTags, 50);
    EXPECT_GT(acceptedSettings, 50);
}

// A stored ordinal is clamped, never refused (that would cost every name in the list) and never left
// where counting on from it overflows.
TEST(ModelJsonRobustness, StoredDisplayIndexIsBroughtIntoRange) {
    constexpr int kMax = SpaceTag::kMaxDisplayIndex;
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"7", 7}, {"2147483647", kMax}, {"1e10", kMax}, {"-2147483648", 0}, {"-1", 0}, {"2.5", std::nullopt}};
    for (const auto& [stored, decoded] : cases) {
        const auto tags =
            ModelJson::decodeTags(QByteArray(R"([{"id":"6BA7B810-9DAD-11D1-80B4-00C04FD430C8",)") +
                                  R"("title":"","lastSeenAt":0,"displayIndex":)" + stored + "}]")
                .value;
        EXPECT_EQ(tags ? std::optional(tags->at(0).displayIndex) : std::nullopt, decoded) << stored;
        EXPECT_TRUE(!tags || nextDisplayIndex(*tags, std::nullopt) >= *decoded) << stored;
    }
}

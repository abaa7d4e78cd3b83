#include "model/ModelJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

namespace sm::ModelJson {

namespace {

// ---- Reading single values: each returns no value when the JSON value has the wrong shape. ----

std::optional<double> asNumber(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    return v.toDouble();
}

std::optional<bool> asBool(const QJsonValue& v) {
    if (!v.isBool()) return std::nullopt;
    return v.toBool();
}

std::optional<QString> asString(const QJsonValue& v) {
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

// A whole number that fits in 64 bits: 3 and 3.0 pass, 3.5 and 1e20 do not.
std::optional<qint64> asInteger(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    // toInteger() falls back to its argument when the number is not integral or out of range; the two
    // fallbacks differ, so agreement means the conversion was exact.
    const qint64 a = v.toInteger(0);
    if (a != v.toInteger(1)) return std::nullopt;
    return a;
}

// A stored ordinal: any whole number, brought into 0 … kMaxDisplayIndex so that the one after it is
// still an int. Refusing a huge one would cost the user every tag in the list.
std::optional<int> asDisplayIndex(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != std::trunc(d)) return std::nullopt;
    return static_cast<int>(std::clamp(d, 0.0, double(SpaceTag::kMaxDisplayIndex)));
}

std::optional<QUuid> asUuid(const QJsonValue& v) {
    static const QString nilText = QStringLiteral("00000000-0000-0000-0000-000000000000");
    if (!v.isString()) return std::nullopt;
    const QString text = v.toString();
    // Only the 36-character hyphenated form is a stored identifier; braces or bare hex are not.
    if (text.size() != 36) return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != nilText) return std::nullopt;
    return id;
}

std::optional<QPointF> asPoint(const QJsonValue& v) {
    if (!v.isArray()) return std::nullopt;
    const QJsonArray xy = v.toArray();
    if (xy.size() != 2 || !xy.at(0).isDouble() || !xy.at(1).isDouble()) return std::nullopt;
    return QPointF(xy.at(0).toDouble(), xy.at(1).toDouble());
}

// Keys of user dictionaries end up in error texts; keep those bounded.
QString quotedKey(const QString& key) {
    constexpr qsizetype kMaxShown = 40;
    return QLatin1Char('"') + (key.size() > kMaxShown ? key.left(kMaxShown) + QStringLiteral("...") : key) +
           QLatin1Char('"');
}

// Reads the fields of one JSON object and records the first problem as "<path>.<key>: <what>".
class Fields {
public:
    Fields(const QJsonObject& object, QString path, QString& error)
        : object_(object), path_(std::move(path)), error_(error) {}

    QJsonValue value(const char* key) const { return object_.value(QLatin1String(key)); }

    // Present with a value other than null.
    bool has(const char* key) const {
        const QJsonValue v = value(key);
        return !v.isUndefined() && !v.isNull();
    }

    bool fail(const char* key, const QString& what) {
        error_ = (path_.isEmpty() ? QString() : path_ + QLatin1Char('.')) + QLatin1String(key) +
                 QStringLiteral(": ") + what;
        return false;
    }

    template <class T, class Read> bool required(const char* key, Read read, const char* expected, T& out) {
        if (!has(key)) return fail(key, QStringLiteral("missing"));
        return optional(key, read, expected, out);
    }

    // Absent or null leaves `out` as it was.
    template <class T, class Read> bool optional(const char* key, Read read, const char* expected, T& out) {
        if (!has(key)) return true;
        auto read_value = read(value(key));
        if (!read_value) return fail(key, QStringLiteral("expected ") + QLatin1String(expected));
        out = std::move(*read_value);
        return true;
    }

    // A JSON object of records keyed by screen identifier; every entry must decode.
    template <class T, class ReadEntry>
    bool dictionary(const char* key, QMap<QString, T>& out, ReadEntry readEntry) {
        if (!has(key)) return true;
        const QJsonValue v = value(key);
        if (!v.isObject()) return fail(key, QStringLiteral("expected an object"));
        const QJsonObject entries = v.toObject();
        QMap<QString, T> result;
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            const QString entryPath =
                QLatin1String(key) + QLatin1Char('[') + quotedKey(it.key()) + QLatin1Char(']');
            if (!it.value().isObject()) {
                error_ = (path_.isEmpty() ? QString() : path_ + QLatin1Char('.')) + entryPath +
                         QStringLiteral(": expected an object");
                return false;
            }
            Fields entry(it.value().toObject(), entryPath, error_);
            T record;
            if (!readEntry(entry, record)) return false;
            result.insert(it.key(), record);
        }
        out = std::move(result);
        return true;
    }

private:
    const QJsonObject& object_;
    QString path_;
    QString& error_;
};

bool readLayout(Fields& f, ScreenLayout& out) {
    return f.optional("fontSize", asNumber, "a number", out.fontSize) &&
           f.optional("magnifyScale", asNumber, "a number", out.magnifyScale) &&
           f.optional("position", asPoint, "[x, y]", out.position);
}

bool readCensusEntry(Fields& f, ScreenCensusEntry& out) {
    return f.required("localizedName", asString, "a string", out.localizedName) &&
           f.required("width", asNumber, "a number", out.width) &&
           f.required("height", asNumber, "a number", out.height) &&
           f.required("lastSeenAt", asNumber, "a number", out.lastSeenAt);
}

std::optional<QJsonDocument> parse(const QByteArray& json, QString& error) {
    QJsonParseError parseError{};
    QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("not valid JSON (%1 at offset %2)")
                    .arg(parseError.errorString())
                    .arg(parseError.offset);
        return std::nullopt;
    }
    return document;
}

// ---- Writing ----

// Remembers the first number JSON cannot represent; Qt would silently write it as null.
class NumberCheck {
public:
    template <class Where> QJsonValue operator()(double v, Where where) {
        if (!std::isfinite(v) && error.isEmpty()) error = where() + QStringLiteral(": not a finite number");
        return v;
    }
    QJsonArray point(QPointF p, const std::function<QString()>& where) {
        return QJsonArray{(*this)(p.x(), where), (*this)(p.y(), where)};
    }

    QString error;
};

// Writes tags directly: building QJsonObjects costs several times the budget for a save. Output is the
// same compact JSON that QJsonDocument would produce.
class TagWriter {
public:
    explicit TagWriter(qsizetype tagCount) { out_.reserve(2 + tagCount * 260); }

    void put(char c) { out_ += c; }

    // One tag object; `index` only names the tag in an error.
    bool write(const SpaceTag& tag, qsizetype index) {
        out_ += "{\"id\":\"";
        out_ += tag.id.toByteArray(QUuid::WithoutBraces).toUpper();
        out_ += "\",\"title\":";
        string(tag.title);
        if (tag.position) {
            out_ += ",\"position\":[";
            if (!number(tag.position->x(), index, "position")) return false;
            out_ += ',';
            if (!number(tag.position->y(), index, "position")) return false;
            out_ += ']';
        }
        out_ += ",\"displayIndex\":";
        out_ += QByteArray::number(tag.displayIndex);
        if (tag.screenIdentifier) {
            out_ += ",\"screenIdentifier\":";
            string(*tag.screenIdentifier);
        }
        out_ += ",\"lastSeenAt\":";
        if (!number(tag.lastSeenAt, index, "lastSeenAt")) return false;
        out_ += tag.isUserOwned ? ",\"isUserOwned\":true" : ",\"isUserOwned\":false";
        out_ += tag.isTombstone ? ",\"isTombstone\":true}" : ",\"isTombstone\":false}";
        return true;
    }

    QByteArray take() { return std::move(out_); }
    QString error;

private:
    bool number(double v, qsizetype index, const char* field) {
        if (!std::isfinite(v)) {
            error = QStringLiteral("tags[%1].%2: not a finite number").arg(index).arg(QLatin1String(field));
            return false;
        }
        char buffer[32];
        // Shortest text that reads back as exactly the same double.
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
        out_.append(buffer, end - buffer);
        return true;
    }

    void string(const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        out_ += '"';
        for (const char c : utf8) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += c;
            } else if (byte < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                out_ += "\\u00";
                out_ += kHex[byte >> 4];
                out_ += kHex[byte & 0xF];
            } else {
                out_ += c;
            }
        }
        out_ += '"';
    }

    QByteArray out_;
};

} // namespace

CodecResult<QByteArray> encodeTags(const QList<SpaceTag>& tags) {
    TagWriter writer(tags.size());
    writer.put('[');
    for (qsizetype i = 0; i < tags.size(); ++i) {
        if (i > 0) writer.put(',');
        if (!writer.write(tags.at(i), i)) return CodecResult<QByteArray>::failure(writer.error);
    }
    writer.put(']');
    return CodecResult<QByteArray>::success(writer.take());
}

CodecResult<QByteArray> encodeTag(const SpaceTag& tag, qsizetype index) {
    TagWriter writer(1);
    if (!writer.write(tag, index)) return CodecResult<QByteArray>::failure(writer.error);
    return CodecResult<QByteArray>::success(writer.take());
}

QByteArray joinTags(const QList<QByteArray>& encodedTags) {
    qsizetype size = 2;
    for (const auto& t : encodedTags)
        size += t.size() + 1;
    QByteArray out;
    out.reserve(size);
    out += '[';
    for (qsizetype i = 0; i < encodedTags.size(); ++i) {
        if (i > 0) out += ',';
        out += encodedTags.at(i);
    }
    out += ']';
    return out;
}

CodecResult<QList<SpaceTag>> decodeTags(const QByteArray& json) {
    using Result = CodecResult<QList<SpaceTag>>;
    QString error;
    const auto document = parse(json, error);
    if (!document) return Result::failure(error);
    if (!document->isArray()) return Result::failure(QStringLiteral("expected a JSON array of tags"));
    const QJsonArray array = document->array();
    QList<SpaceTag> tags;
    tags.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        // The "tags[i]" prefix is only built for a failure: decoding a long list must stay cheap.
        const auto where = [i] { return QStringLiteral("tags[%1]").arg(i); };
        const QJsonValue element = array.at(i);
        if (!element.isObject()) return Result::failure(where() + QStringLiteral(": expected an object"));
        const QJsonObject object = element.toObject();
        Fields f(object, QString(), error);
        SpaceTag tag;
        const bool ok = f.required("id", asUuid, "a UUID", tag.id) &&
                        f.required("title", asString, "a string", tag.title) &&
                        f.optional("position", asPoint, "[x, y]", tag.position) &&
                        f.required("displayIndex", asDisplayIndex, "an integer", tag.displayIndex) &&
                        f.optional("screenIdentifier", asString, "a string", tag.screenIdentifier) &&
                        f.required("lastSeenAt", asNumber, "a number", tag.lastSeenAt) &&
                        f.optional("isUserOwned", asBool, "true or false", tag.isUserOwned) &&
                        f.optional("isTombstone", asBool, "true or false", tag.isTombstone);
        if (!ok) return Result::failure(where() + QLatin1Char('.') + error);
        tags.append(std::move(tag));
    }
    return Result::success(std::move(tags));
}

CodecResult<QByteArray> encodeSettings(const AppSettings& s) {
    NumberCheck number;
    const auto at = [](const QString& where) { return [where] { return where; }; };
    const auto field = [&](const char* key, double v) { return number(v, at(QLatin1String(key))); };

    QJsonObject o;
    o.insert(QLatin1String("visibilityMode"), rawValue(s.visibilityMode));
    o.insert(QLatin1String("baseOpacity"), field("baseOpacity", s.baseOpacity));
    o.insert(QLatin1String("ctrlBoostOpacity"), field("ctrlBoostOpacity", s.ctrlBoostOpacity));
    o.insert(QLatin1String("onChangeDurationSec"), field("onChangeDurationSec", s.onChangeDurationSec));
    o.insert(QLatin1String("fontSize"), field("fontSize", s.fontSize));
    o.insert(QLatin1String("magnifyWhenUnfocused"), s.magnifyWhenUnfocused);
    o.insert(QLatin1String("magnifyScale"), field("magnifyScale", s.magnifyScale));
    o.insert(QLatin1String("magnifyOpacity"), field("magnifyOpacity", s.magnifyOpacity));
    o.insert(QLatin1String("autoCreateOnNewSpace"), s.autoCreateOnNewSpace);
    o.insert(QLatin1String("speakSpaceNameOnChange"), s.speakSpaceNameOnChange);
    o.insert(QLatin1String("speechRate"), field("speechRate", s.speechRate));
    o.insert(QLatin1String("speechVolume"), field("speechVolume", s.speechVolume));
    o.insert(QLatin1String("autoTagFromFrontmostWindow"), s.autoTagFromFrontmostWindow);
    o.insert(QLatin1String("windowNameGuessing"), rawValue(s.windowNameGuessing));
    o.insert(QLatin1String("syncPositionsAcrossSpaces"), s.syncPositionsAcrossSpaces);
    if (s.syncedPosition)
        o.insert(QLatin1String("syncedPosition"),
                 number.point(*s.syncedPosition, at(QStringLiteral("syncedPosition"))));

    QJsonObject census;
    for (auto it = s.screenCensus.begin(); it != s.screenCensus.end(); ++it) {
        const QString where = QStringLiteral("screenCensus[") + quotedKey(it.key()) + QLatin1Char(']');
        QJsonObject entry;
        entry.insert(QLatin1String("localizedName"), it->localizedName);
        entry.insert(QLatin1String("width"), number(it->width, at(where)));
        entry.insert(QLatin1String("height"), number(it->height, at(where)));
        entry.insert(QLatin1String("lastSeenAt"), number(it->lastSeenAt, at(where)));
        census.insert(it.key(), entry);
    }
    o.insert(QLatin1String("screenCensus"), census);
    if (s.fontSizeRefScreen) o.insert(QLatin1String("fontSizeRefScreen"), *s.fontSizeRefScreen);
    if (s.syncedPositionRefScreen)
        o.insert(QLatin1String("syncedPositionRefScreen"), *s.syncedPositionRefScreen);

    QJsonObject perScreen;
    for (auto it = s.perScreen.begin(); it != s.perScreen.end(); ++it) {
        const auto where = at(QStringLiteral("perScreen[") + quotedKey(it.key()) + QLatin1Char(']'));
        QJsonObject layout;
        if (it->fontSize) layout.insert(QLatin1String("fontSize"), number(*it->fontSize, where));
        if (it->magnifyScale) layout.insert(QLatin1String("magnifyScale"), number(*it->magnifyScale, where));
        if (it->position) layout.insert(QLatin1String("position"), number.point(*it->position, where));
        perScreen.insert(it.key(), layout);
    }
    o.insert(QLatin1String("perScreen"), perScreen);
    o.insert(QLatin1String("shareDesktopNames"), s.shareDesktopNames);

    if (!number.error.isEmpty()) return CodecResult<QByteArray>::failure(number.error);
    return CodecResult<QByteArray>::success(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

CodecResult<AppSettings> decodeSettings(const QByteArray& json) {
    using Result = CodecResult<AppSettings>;
    QString error;
    const auto document = parse(json, error);
    if (!document) return Result::failure(error);
    if (!document->isObject()) return Result::failure(QStringLiteral("expected a JSON object of settings"));
    const QJsonObject object = document->object();
    Fields f(object, QString(), error);
    AppSettings s;

    QString mode;
    std::optional<qint64> guessing;
    const bool ok =
        f.optional("visibilityMode", asString, "a string", mode) &&
        f.optional("baseOpacity", asNumber, "a number", s.baseOpacity) &&
        f.optional("ctrlBoostOpacity", asNumber, "a number", s.ctrlBoostOpacity) &&
        f.optional("onChangeDurationSec", asNumber, "a number", s.onChangeDurationSec) &&
        f.optional("fontSize", asNumber, "a number", s.fontSize) &&
        f.optional("magnifyWhenUnfocused", asBool, "true or false", s.magnifyWhenUnfocused) &&
        f.optional("magnifyScale", asNumber, "a number", s.magnifyScale) &&
        f.optional("magnifyOpacity", asNumber, "a number", s.magnifyOpacity) &&
        f.optional("autoCreateOnNewSpace", asBool, "true or false", s.autoCreateOnNewSpace) &&
        f.optional("speakSpaceNameOnChange", asBool, "true or false", s.speakSpaceNameOnChange) &&
        f.optional("speechRate", asNumber, "a number", s.speechRate) &&
        f.optional("speechVolume", asNumber, "a number", s.speechVolume) &&
        f.optional("autoTagFromFrontmostWindow", asBool, "true or false", s.autoTagFromFrontmostWindow) &&
        f.optional("windowNameGuessing", asInteger, "an integer", guessing) &&
        f.optional("syncPositionsAcrossSpaces", asBool, "true or false", s.syncPositionsAcrossSpaces) &&
        f.optional("syncedPosition", asPoint, "[x, y]", s.syncedPosition) &&
        f.dictionary("screenCensus", s.screenCensus, readCensusEntry) &&
        f.optional("fontSizeRefScreen", asString, "a string", s.fontSizeRefScreen) &&
        f.optional("syncedPositionRefScreen", asString, "a string", s.syncedPositionRefScreen) &&
        f.dictionary("perScreen", s.perScreen, readLayout) &&
        f.optional("shareDesktopNames", asBool, "true or false", s.shareDesktopNames);
    if (!ok) return Result::failure(error);

    if (f.has("visibilityMode")) {
        const auto parsed = visibilityModeFromRawValue(mode);
        if (!parsed) {
            f.fail("visibilityMode", QStringLiteral("unknown mode %1").arg(quotedKey(mode)));
            return Result::failure(error);
        }
        s.visibilityMode = *parsed;
    }
    // Documents from before the guessing level only had the on/off switch, which meant terminals.
    if (guessing)
        s.windowNameGuessing = windowNameGuessingFromRawValue(*guessing).value_or(WindowNameGuessing::off);
    else if (s.autoTagFromFrontmostWindow)
        s.windowNameGuessing = WindowNameGuessing::terminalOnly;
    return Result::success(std::move(s));
}

} // namespace sm::ModelJson

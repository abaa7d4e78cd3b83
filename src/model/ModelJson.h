#pragma once

#include "model/AppSettings.h"
#include "model/SpaceTag.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace sm {

// The outcome of reading or writing a stored document: a value, or the reason there is none (for the log).
template <class T> struct CodecResult {
    std::optional<T> value;
    QString error;

    static CodecResult success(T v) { return {std::move(v), {}}; }
    static CodecResult failure(QString why) { return {std::nullopt, std::move(why)}; }
    explicit operator bool() const { return value.has_value(); }
};

// The JSON form of tags and settings. Decoders accept any bytes: they never throw and never crash, and
// a document that breaks a rule fails as a whole. Encoders fail only on a number JSON cannot hold
// (NaN, infinity); the caller then keeps what was stored before.
namespace ModelJson {

// Compact UTF-8 JSON array of tag objects.
CodecResult<QByteArray> encodeTags(const QList<SpaceTag>& tags);
// The same in two steps, so that a caller can keep each tag's object and re-encode only changed tags:
// one tag object (`index` only names the tag in an error), and the list made of such objects.
CodecResult<QByteArray> encodeTag(const SpaceTag& tag, qsizetype index = 0);
QByteArray joinTags(const QList<QByteArray>& encodedTags);
// One tag failing to decode fails the whole list.
CodecResult<QList<SpaceTag>> decodeTags(const QByteArray& json);

// Compact UTF-8 JSON object; optional fields without a value are left out, never written as null.
CodecResult<QByteArray> encodeSettings(const AppSettings& settings);
// Starts from AppSettings() and replaces each field whose key is present and not null. Does not
// sanitize: ranges are the caller's business.
CodecResult<AppSettings> decodeSettings(const QByteArray& json);

} // namespace ModelJson
} // namespace sm

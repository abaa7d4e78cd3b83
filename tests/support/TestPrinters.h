#pragma once

#include <QString>
#include <QUuid>

#include <ostream>

// Readable GoogleTest failure output for Qt values (found by argument-dependent lookup).
inline void PrintTo(const QUuid& id, std::ostream* os) {
    *os << id.toString(QUuid::WithoutBraces).toStdString();
}
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

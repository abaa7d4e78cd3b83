#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace sm::test {

// A compositor's IPC socket for the namers' tests: one request per connection, answered by `answer` on
// a thread of its own and recorded. `listening` false leaves a socket file nobody accepts on.
class FakeIpc {
public:
    FakeIpc(const QString& path, std::function<QByteArray(const QByteArray&)> answer, bool listening = true);
    ~FakeIpc();
    FakeIpc(const FakeIpc&) = delete;
    FakeIpc& operator=(const FakeIpc&) = delete;

    QStringList requests() const; // each without its line break

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace sm::test

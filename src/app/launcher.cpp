// spacemarquee: the command line. Commands go straight to the running copy over its socket, with
// nothing but QtCore loaded, so a keyboard shortcut or a script waits for a round trip and not for a
// toolkit to start; to start the program it becomes spacemarquee-app (the same process, by exec).
//   spacemarquee                     starts it (started again, it opens the running copy's Preferences)
//   spacemarquee --login-item        as the autostart entry starts it at login
//   spacemarquee COMMAND             hands the command to the running copy (CommandLine.h); links
//                                    (what xdg-open runs) and name/clear start it when none runs
#include "app/CommandClient.h"
#include "app/CommandLine.h"
#include "app/ProgramLock.h"
#include "platform/linux/PrivateDirectory.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

using namespace sm;

// Beside this file in a build tree, else where it is installed next to bin/.
QString programProper(const QString& self) {
    const QFileInfo here(self);
    const QString beside = here.dir().filePath(ProgramLock::kProgramName);
    if (QFileInfo(beside).isExecutable()) return beside;
    return QFileInfo(here.dir().filePath(QStringLiteral("../libexec/spacemarquee/") + ProgramLock::kProgramName))
        .absoluteFilePath();
}

} // namespace

int main(int argc, char** argv) {
    const CommandLine command = commandLine(argc, argv);
    if (const auto status = answerAtOnce(command))
        return *status;
    if (command.action == CommandLine::Action::send) {
        const PrivateDirectory runtime = PrivateDirectory::ensureStandard();
        if (!runtime.isUsable()) {
            say(runtime.error);
            return 1;
        }
        return sendCommands(command, runtime.path, QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    }
    // A quit asked for while the program loads is held, not fatal: blocked signals stay blocked
    // across exec, and the program takes them once it can end in order.
    sigset_t quitting;
    sigemptyset(&quitting);
    for (const int number : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&quitting, number);
    ::sigprocmask(SIG_BLOCK, &quitting, nullptr);
    const QByteArray program =
        QFile::encodeName(programProper(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))));
    ::execv(program.constData(), argv);
    const int error = errno;
    ::sigprocmask(SIG_UNBLOCK, &quitting, nullptr);
    say(QStringLiteral("cannot run %1: %2").arg(QFile::decodeName(program), QString::fromLocal8Bit(std::strerror(error))));
    return 1;
}

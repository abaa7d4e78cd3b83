#include "app/CommandLine.h"

#include "app/AutostartLoginItem.h"
#include "app/UrlCommand.h"

#include <QStringDecoder>
#include <QUrl>

#include <tuple>

namespace sm {

namespace {

CommandLine fail(CommandLine::Action action, const QString& message) {
    CommandLine result;
    result.action = action;
    result.message = message;
    return result;
}

CommandLine usage(const QString& message) {
    return fail(CommandLine::Action::usage, message);
}

CommandLine send(QList<QByteArray> requests, bool startsProgram) {
    CommandLine result;
    result.action = CommandLine::Action::send;
    result.requests = std::move(requests);
    result.startsProgram = startsProgram;
    return result;
}

// Why the title cannot be a desktop's name; empty when it can.
QString titleProblem(const QByteArray& bytes) {
    if (bytes.size() > CommandLine::kMaxTitleBytes)
        return QStringLiteral("the title is longer than %1 bytes").arg(CommandLine::kMaxTitleBytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString title = decoder.decode(bytes);
    if (decoder.hasError()) return QStringLiteral("the title is not valid UTF-8");
    for (const QChar c : title)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            return QStringLiteral("the title contains control characters");
    return {};
}

} // namespace

CommandLine CommandLine::parse(const QList<QByteArray>& arguments) {
    if (arguments.isEmpty()) return {};
    const QByteArray& verb = arguments.front();
    const auto count = arguments.size();
    if (verb == AutostartLoginItem::kLoginItemFlag.toUtf8()) {
        if (count > 1) return usage(QStringLiteral("--login-item takes no other arguments"));
        CommandLine result;
        result.loginItem = true;
        return result;
    }
    if (verb == "--help" || verb == "-h" || verb == "help") return fail(Action::help, {});
    if (verb == "--version") return fail(Action::version, {});
    if (verb == "name") {
        if (count != 2) return usage(QStringLiteral("name takes one argument, the title (quote it)"));
        if (const QString problem = titleProblem(arguments[1]); !problem.isEmpty())
            return fail(Action::invalid, problem);
        return send({"spacemarquee://set-current-tag?title=" + arguments[1].toPercentEncoding()}, true);
    }
    if (verb == "go") {
        if (count != 2) return usage(QStringLiteral("go takes one argument, the desktop's name (quote it)"));
        if (const QString problem = titleProblem(arguments[1]); !problem.isEmpty())
            return fail(Action::invalid, problem);
        if (arguments[1].trimmed().isEmpty()) return fail(Action::invalid, QStringLiteral("the name is empty"));
        return send({"spacemarquee://go?title=" + arguments[1].toPercentEncoding()}, true);
    }
    if (verb == "clear") {
        if (count != 1) return usage(QStringLiteral("clear takes no arguments"));
        return send({"spacemarquee://clear-current-tag"}, true);
    }
    if (verb == "list") {
        if (count == 1) return send({kListRequest}, false);
        if (count == 2 && arguments[1] == "--json") return send({kListJsonRequest}, false);
        return usage(QStringLiteral("list takes only --json"));
    }
    for (const auto& [word, request, starts] : {std::tuple{"preferences", kPreferencesRequest, true},
                                                {"report", kReportRequest, true},
                                                {"edit", kEditRequest, true},
                                                {"switch", kSwitchRequest, true},
                                                {"quit", kQuitRequest, false}}) {
        if (verb != word) continue;
        if (count != 1) return usage(QStringLiteral("%1 takes no arguments").arg(QLatin1String(word)));
        return send({request}, starts);
    }
    // Links, as xdg-open passes them: refused here already when the running copy would refuse them,
    // so that a broken one fails the same whether or not Spacemarquee runs, and starts nothing.
    QList<QByteArray> urls;
    for (const QByteArray& argument : arguments) {
        if (!argument.contains(':'))
            return usage(QStringLiteral("unknown command \"%1\"").arg(QString::fromUtf8(argument.left(100))));
        const UrlCommand command = UrlCommand::parse(argument);
        if (command.kind != UrlCommand::Kind::setCurrentTag &&
            command.kind != UrlCommand::Kind::clearCurrentTag && command.kind != UrlCommand::Kind::goTo)
            return fail(Action::invalid, QStringLiteral("refused the command: ") + command.reason);
        urls << argument;
    }
    return send(urls, true);
}

} // namespace sm

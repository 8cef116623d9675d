#include "app/TopLevelError.h"

#include "app/MessageBoxes.h"
#include "core/Error.h"

#include <QCoreApplication>

#include <exception>

namespace app {

namespace {

bool s_reported = false;

EndProgram &endProgram()
{
    static EndProgram current;
    return current;
}

void endWith(int exitCode)
{
    if (endProgram())
        endProgram()(exitCode);
    else
        QCoreApplication::exit(exitCode);
}

} // namespace

void reportUnhandled(std::int32_t number, const QString &description)
{
    if (s_reported)
        return;
    s_reported = true;
    msgBox(QStringLiteral("Run-time error '%1':\r\n\r\n%2").arg(number).arg(description),
           MsgStyle::OKOnly | MsgStyle::Critical);
    endWith(1);
}

void reportCurrentException()
{
    try {
        throw;
    } catch (const messaging::Error &error) {
        reportUnhandled(error.number(), QString::fromStdString(error.description()));
    } catch (const std::exception &error) {
        reportUnhandled(messaging::ErrorCode::StoreFailure, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reportUnhandled(messaging::ErrorCode::StoreFailure, QStringLiteral("Unknown error"));
    }
}

void runHandler(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (...) {
        reportCurrentException();
    }
}

bool unhandledErrorReported()
{
    return s_reported;
}

EndProgram setEndProgram(EndProgram replacement)
{
    EndProgram previous = std::move(endProgram());
    endProgram() = std::move(replacement);
    return previous;
}

void resetUnhandledError()
{
    s_reported = false;
}

} // namespace app

#include "commands/Output.h"

#include "codec/Codec.h"
#include "commands/ExitStatus.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

QString g_failure;

} // namespace

namespace Output {

void line(const QString& text)
{
    if (!g_failure.isEmpty())
        return;
    const QByteArray bytes = text.toUtf8() + '\n';
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count =
            ::write(STDOUT_FILENO, bytes.constData() + written, size_t(bytes.size() - written));
        if (count > 0) {
            written += count;
            continue;
        }
        if (count == -1 && errno == EINTR)
            continue;
        // A descriptor handed over non-blocking is waited for, as a blocking one would be.
        if (count == -1 && errno == EAGAIN) {
            pollfd writable{STDOUT_FILENO, POLLOUT, 0};
            ::poll(&writable, 1, -1);
            continue;
        }
        g_failure = QString::fromLocal8Bit(std::strerror(count == 0 ? EIO : errno));
        error(QStringLiteral("standard output cannot be written: %1").arg(g_failure));
        return;
    }
}

void json(const QJsonObject& object)
{
    line(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

void error(const QString& text)
{
    const QByteArray bytes =
        (QCoreApplication::applicationName() + QStringLiteral(": ") + text).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString failure()
{
    return g_failure;
}

int finish(int status)
{
    const bool endedBySignal = status > ExitStatus::signalled(0);
    return g_failure.isEmpty() || endedBySignal ? status : ExitStatus::kIoError;
}

QString characters(QByteArrayView bytes)
{
    return codec::bytesToText(bytes, codec::LineBreaks::AsSymbols);
}

QString hexDigits(QByteArrayView bytes)
{
    return codec::AscConvert(bytes);
}

} // namespace Output

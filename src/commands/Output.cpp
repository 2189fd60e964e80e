#include "commands/Output.h"

#include "codec/Codec.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>

namespace Output {

void line(const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
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

QString characters(QByteArrayView bytes)
{
    return codec::bytesToText(bytes, codec::LineBreaks::AsSymbols);
}

QString hexDigits(QByteArrayView bytes)
{
    return codec::AscConvert(bytes);
}

} // namespace Output

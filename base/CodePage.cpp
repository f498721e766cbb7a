#include "CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace codepage {

namespace {

constexpr const char* kAnsi = "windows-1251";
constexpr const char* kOem = "IBM866";

QString decode(const char* name, QByteArrayView bytes)
{
    QStringDecoder decoder(name);
    Q_ASSERT(decoder.isValid());
    return decoder.decode(bytes);
}

QByteArray encode(const char* name, QStringView text)
{
    QStringEncoder encoder(name);
    Q_ASSERT(encoder.isValid());
    return encoder.encode(text);
}

} // namespace

QString fromAnsi(QByteArrayView bytes)
{
    return decode(kAnsi, bytes);
}

QByteArray toAnsi(QStringView text)
{
    return encode(kAnsi, text);
}

QString fromOem(QByteArrayView bytes)
{
    return decode(kOem, bytes);
}

QByteArray toOem(QStringView text)
{
    return encode(kOem, text);
}

QByteArray ansiToOem(QByteArrayView bytes)
{
    return toOem(fromAnsi(bytes));
}

QByteArray oemToAnsi(QByteArrayView bytes)
{
    return toAnsi(fromOem(bytes));
}

} // namespace codepage

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The two 8-bit code pages of the program's files: "ANSI" (windows-1251) for archive files,
// CSV and "esc.ini"; "OEM" (IBM866) for report texts and the texts of map files.
namespace codepage {

QString fromAnsi(QByteArrayView bytes);
QByteArray toAnsi(QStringView text);
QString fromOem(QByteArrayView bytes);
QByteArray toOem(QStringView text);

// Direct conversions of 8-bit text between the two code pages.
QByteArray ansiToOem(QByteArrayView bytes);
QByteArray oemToAnsi(QByteArrayView bytes);

} // namespace codepage

#pragma once

#include <QString>
#include <QStringList>

// The meter types the program knows, numbered from 1; 0 is no type.
namespace devtypes {

QStringList displayNames(); // "Карна-1", ...
QStringList codeNames();    // "Karna1", ...
int count();
// Empty for 0 and for numbers outside the list.
QString displayName(int type);
QString codeName(int type);
// A number "1".."3" or a code or display name in any letter case; 0 when unknown.
int fromText(const QString& text);

} // namespace devtypes

#pragma once

#include <QString>

// The program's Russian texts by number. A number without an entry (or with an empty one)
// yields the fallback, so a missing translation still shows the English text.
QString LoadResString(int id, const QString& fallback);

// The same, with the built-in English fallback of that number (empty when there is none).
QString LoadResString(int id);

namespace strtab {

// True when the number has a non-empty Russian entry.
bool hasEntry(int id);

// The built-in English fallback of a number, empty when there is none.
QString fallback(int id);

} // namespace strtab

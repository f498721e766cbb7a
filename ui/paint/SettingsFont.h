#pragma once

#include <QFont>

struct LogFont;

namespace paint {

// The font of a settings font for drawing without widgets (lorn2-cli): pixel size = magnitude of
// Height, weight, italic, underline, strike-out, face name and fixed pitch; a face the system
// lacks becomes the system's monospace font. The same mapping as the desktop program's.
QFont fontFromSettings(const LogFont& logFont);

} // namespace paint

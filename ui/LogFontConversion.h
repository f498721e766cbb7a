#pragma once

#include <QFont>

struct LogFont;

namespace ui {

// The screen font of a settings font: pixel size = magnitude of Height, weight, italic,
// underline, strike-out, face name and fixed pitch. A face the system lacks becomes the system's
// monospace font.
QFont fontFromLogFont(const LogFont& logFont);

// Takes a chosen font back into the settings font: Height = -pixel size (a point size is
// converted at `logPixelsY`), weight, italic, underline, strike-out, pitch and the face name cut
// to its field. The fields a font dialog does not choose stay as they were.
void applyFontToLogFont(const QFont& font, int logPixelsY, LogFont& logFont);

} // namespace ui

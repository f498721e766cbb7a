#include "LogFontConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QFontDatabase>
#include <QFontInfo>

#include "app/ProgramSettings.h"
#include "ui/paint/SettingsFont.h"

namespace ui {

namespace {

// The pitch bits of PitchAndFamily; the family bits above them are kept.
constexpr std::uint8_t kPitchMask = 0x03;
constexpr std::uint8_t kFixedPitch = 0x01;
constexpr std::uint8_t kVariablePitch = 0x02;

} // namespace

QFont fontFromLogFont(const LogFont& logFont)
{
    // One mapping for the windows and for drawing without them (lorn2-cli).
    return paint::fontFromSettings(logFont);
}

void applyFontToLogFont(const QFont& font, int logPixelsY, LogFont& logFont)
{
    int pixels = font.pixelSize();
    if (pixels <= 0 && font.pointSizeF() > 0 && logPixelsY > 0)
        pixels = static_cast<int>(std::lround(font.pointSizeF() * logPixelsY / 72.0));
    if (pixels <= 0)
        pixels = QFontInfo(font).pixelSize();
    logFont.Height = -pixels;
    logFont.Weight = font.weight();
    logFont.Italic = font.italic() ? 1 : 0;
    logFont.Underline = font.underline() ? 1 : 0;
    logFont.StrikeOut = font.strikeOut() ? 1 : 0;
    const bool fixed = QFontInfo(font).fixedPitch();
    logFont.PitchAndFamily
        = static_cast<std::uint8_t>((logFont.PitchAndFamily & ~kPitchMask) | (fixed ? kFixedPitch : kVariablePitch));
    logFont.setFaceName(font.family());
}

} // namespace ui

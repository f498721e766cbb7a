#include "LogFontConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QFontDatabase>
#include <QFontInfo>

#include "app/ProgramSettings.h"

namespace ui {

namespace {

// The pitch bits of PitchAndFamily; the family bits above them are kept.
constexpr std::uint8_t kPitchMask = 0x03;
constexpr std::uint8_t kFixedPitch = 0x01;
constexpr std::uint8_t kVariablePitch = 0x02;
constexpr int kNormalWeight = 400;

} // namespace

QFont fontFromLogFont(const LogFont& logFont)
{
    QFont font;
    if (QFontDatabase::hasFamily(logFont.FaceName))
        font.setFamily(logFont.FaceName);
    else
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (logFont.Height != 0)
        font.setPixelSize(std::abs(logFont.Height));
    // Zero is "don't care"; Qt's weights share the 1..1000 scale.
    const int weight = logFont.Weight == 0 ? kNormalWeight : std::clamp<int>(logFont.Weight, 1, 1000);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(logFont.Italic != 0);
    font.setUnderline(logFont.Underline != 0);
    font.setStrikeOut(logFont.StrikeOut != 0);
    const bool fixed = (logFont.PitchAndFamily & kPitchMask) == kFixedPitch;
    font.setFixedPitch(fixed);
    if (fixed)
        font.setStyleHint(QFont::TypeWriter);
    return font;
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

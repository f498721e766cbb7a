#include "SettingsFont.h"

#include <algorithm>
#include <cstdlib>

#include <QFontDatabase>

#include "app/ProgramSettings.h"

namespace paint {

QFont fontFromSettings(const LogFont& logFont)
{
    constexpr int kPitchMask = 0x03;
    constexpr int kFixedPitch = 0x01;
    constexpr int kNormalWeight = 400;
    QFont font;
    if (QFontDatabase::hasFamily(logFont.FaceName))
        font.setFamily(logFont.FaceName);
    else
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (logFont.Height != 0)
        font.setPixelSize(std::abs(logFont.Height));
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

} // namespace paint

#pragma once

#include <cstdint>

#include <QString>

#include "base/ConnectionBlock.h"

class ProfileStore;

// A report font as the settings keep it, field for field.
struct LogFont
{
    static constexpr int kFaceNameMax = 31; // the face name field holds 32 characters with the terminator

    std::int32_t Height = -10;
    std::int32_t Width = 0;
    std::int32_t Escapement = 0;
    std::int32_t Orientation = 0;
    std::int32_t Weight = 400;
    std::uint8_t Italic = 0;
    std::uint8_t Underline = 0;
    std::uint8_t StrikeOut = 0;
    std::uint8_t CharSet = 204;
    std::uint8_t OutPrecision = 3;
    std::uint8_t ClipPrecision = 2;
    std::uint8_t Quality = 1;
    std::uint8_t PitchAndFamily = 49;
    QString FaceName = QStringLiteral("Courier New");

    void setFaceName(const QString& name) { FaceName = name.left(kFaceNameMax); }
    bool operator==(const LogFont&) const = default;
};

namespace settings {

inline const QString kSectionSettings = QStringLiteral("Settings");
inline const QString kSectionViewFont = QStringLiteral("ReportViewFont");
inline const QString kSectionPrintFont = QStringLiteral("ReportPrintFont");
inline const QString kSectionNewAccount = QStringLiteral("COM4NEWACC");
inline const QString kKeyTabSize = QStringLiteral("ReportTabSize");
constexpr int kDefaultTabSize = 8;

int readTabSize(const ProfileStore& store);
void writeTabSize(ProfileStore& store, int tabSize);

LogFont readFont(const ProfileStore& store, const QString& section);
void writeFont(ProfileStore& store, const QString& section, const LogFont& font);

// The connection new accounts start from: handle -1, error 0, then port and line settings.
ConnectionBlock defaultNewAccountConnection();
ConnectionBlock readNewAccountConnection(const ProfileStore& store);
void writeNewAccountConnection(ProfileStore& store, const ConnectionBlock& connection);

// The key names of a section in the order they are written.
QStringList fontKeys();
QStringList connectionKeys();

} // namespace settings

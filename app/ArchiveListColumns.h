#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

struct ArchiveParams;
struct sctArcZap;

// The 37 columns of the archive list, shared by the window and the command-line listing.
namespace archivelist {

constexpr int kColumnCount = 37;

// The captions; the energy columns follow the archive's energy unit.
QStringList captions(int energyUnits);
int columnWidth(int column);
// The cells of one record as the list shows them.
QStringList cells(const ArchiveParams& params, const sctArcZap& record);
QString cell(const ArchiveParams& params, const sctArcZap& record, int column);
// The same values for scripts: the stamp as ISO 8601 ("time"), readings as numbers, operating
// times in minutes, error words as numbers; arrays per contour or channel.
QJsonObject toJson(const ArchiveParams& params, const sctArcZap& record);

} // namespace archivelist

#pragma once

#include <vector>

#include <QByteArray>
#include <QString>

class CDevData;

// The device list as a CSV file: windows-1251, CR LF line ends, one line per account that is not
// deleted, numbered from 1 in list order.
namespace devicelist {

// The file's bytes.
QByteArray format(const std::vector<CDevData>& accounts);

// Writes the file in place of any file of that name; the old file stays when writing fails.
bool exportToFile(const QString& path, const std::vector<CDevData>& accounts);

} // namespace devicelist

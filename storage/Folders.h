#pragma once

#include <QString>
#include <QStringList>

#include "base/ResultCodes.h"

// The folder layout under the working folder and the file housekeeping on it.
namespace folders {

// `folder` + "/" + `name`, without doubling a separator the folder already ends with.
QString join(const QString& folder, const QString& name);

// The last component of a path, after the last "/", "\" or ":"; empty for "." and "..". A file
// name read from an account file or chosen in a dialog is joined to the account folder by this
// part only, so a stored path never reaches outside the folder.
QString fileNameOf(const QString& path);

// WorkingFolder/Devices: one folder per account.
QString devicesFolder(const QString& workingFolder);
// WorkingFolder/DeviceArchives, where deleted accounts are moved; empty when the string table
// names no such folder (the caller then says the path is not set).
QString deviceArchivesFolder(const QString& workingFolder);
// WorkingFolder/Maps, where the map-file dialog starts.
QString mapsFolder(const QString& workingFolder);
// WorkingFolder/Reports, the default place of report files.
QString reportsFolder(const QString& workingFolder);
// WorkingFolder/Reports/<shortName>.tsr
QString reportFilePath(const QString& workingFolder, const QString& shortName);

// Creates the folder with every missing parent; a folder that already exists is success.
bool createPath(const QString& path);

// Appends the names of the entries matching `pattern` (a folder and a wildcard, "dir/*.xml";
// letter case ignored) that are not folders, in name order. E_FAIL when the folder cannot be
// listed.
HRESULT findFiles(const QString& pattern, QStringList& names);
// The sub-folders of `folder` in name order, "." and ".." left out; false when it cannot be
// listed.
bool listFolders(const QString& folder, QStringList& names);
// Name order as every listing here uses it: letter case ignored, ties broken by case, so the
// order does not depend on the file system.
void sortNames(QStringList& names);

// Deletes the folder and everything below it. A symbolic link is removed as a link and never
// followed, so nothing outside the tree is touched. Stops at the first failure; what was
// deleted by then stays deleted.
bool deleteTree(const QString& path);

// Renames a folder; fails when the destination exists. On failure `error` gets the system's
// text for the reason.
bool moveFolder(const QString& from, const QString& to, QString* error = nullptr);

// Copies a file over any file of the destination's name; the destination is replaced only
// once the copy is complete. Copying a file onto itself leaves it as it is.
bool copyReplacing(const QString& from, const QString& to, QString* error = nullptr);

// The system's message for an errno value; empty for 0 and for codes it does not know.
QString systemErrorText(int code);

} // namespace folders

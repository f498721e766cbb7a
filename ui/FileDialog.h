#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "app/Shell.h"

class QWidget;

// Every open and save file dialog of the program goes through here, so that tests can script
// the answer instead of driving a platform dialog.
class FileDialog
{
public:
    // The chosen path, empty on cancel. The open dialog accepts existing files only; the save
    // dialog asks before overwriting. A typed name without an extension gets the default one.
    static QString getOpenFileName(QWidget* parent, const FileDialogSpec& request);
    static QString getSaveFileName(QWidget* parent, const FileDialogSpec& request);
    // A folder chooser starting in `request.folder`; the chosen folder, empty on cancel.
    static QString getExistingDirectory(QWidget* parent, const FileDialogSpec& request);

    // The next dialog returns this path (empty: as if cancelled) without showing anything; each
    // call scripts one dialog.
    static void setNextFileName(const QString& path);
    static void clearNextFileNames();
    // The request of the last dialog, scripted or shown.
    static std::optional<FileDialogSpec> lastRequest();

    // "Description|pattern|Description|pattern||" as Qt name filters. Patterns match regardless
    // of letter case and "*.*" matches every file, as on the system the filters were written for.
    static QStringList nameFilters(const QString& legacyFilter);
    // Appends ".ext" when the file name has no extension.
    static QString withDefaultExtension(const QString& path, const QString& extension);

private:
    static QString run(QWidget* parent, const FileDialogSpec& request, bool save);
};

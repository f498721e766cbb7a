#include "FileDialog.h"

#include <deque>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

// Dialogs run on the user-interface thread only, so the script needs no lock.
std::deque<QString>& scriptedNames()
{
    static std::deque<QString> names;
    return names;
}

std::optional<FileDialogSpec>& lastSpec()
{
    static std::optional<FileDialogSpec> request;
    return request;
}

// "*.csv" -> "*.[cC][sS][vV]"; Qt's file dialog compares names case-sensitively on Linux.
QString caseless(const QString& pattern)
{
    if (pattern == u"*.*"_s)
        return u"*"_s;
    QString out;
    for (const QChar c : pattern) {
        if (c.isLetter() && c.toLower() != c.toUpper())
            out += u'[' + QString(c.toLower()) + QString(c.toUpper()) + u']';
        else
            out += c;
    }
    return out;
}

} // namespace

QStringList FileDialog::nameFilters(const QString& legacyFilter)
{
    QStringList filters;
    const QStringList parts = legacyFilter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        if (description.isEmpty())
            break; // the "||" that ends the list
        QStringList patterns;
        for (const QString& p : parts.at(i + 1).split(u';', Qt::SkipEmptyParts))
            patterns << caseless(p.trimmed());
        if (patterns.isEmpty())
            patterns << u"*"_s;
        // The descriptions carry their own "(*.csv)"; the dialog hides the converted patterns.
        filters << description + u" ("_s + patterns.join(u' ') + u')';
    }
    return filters;
}

QString FileDialog::withDefaultExtension(const QString& path, const QString& extension)
{
    if (path.isEmpty() || extension.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + u'.' + extension;
}

void FileDialog::setNextFileName(const QString& path)
{
    scriptedNames().push_back(path);
}

void FileDialog::clearNextFileNames()
{
    scriptedNames().clear();
    lastSpec().reset();
}

std::optional<FileDialogSpec> FileDialog::lastRequest()
{
    return lastSpec();
}

QString FileDialog::getOpenFileName(QWidget* parent, const FileDialogSpec& request)
{
    return run(parent, request, false);
}

QString FileDialog::getSaveFileName(QWidget* parent, const FileDialogSpec& request)
{
    return run(parent, request, true);
}

QString FileDialog::getExistingDirectory(QWidget* parent, const FileDialogSpec& request)
{
    lastSpec() = request;
    if (!scriptedNames().empty()) {
        const QString path = scriptedNames().front();
        scriptedNames().pop_front();
        return path;
    }
    QFileDialog dialog(parent, request.title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setDirectory(request.folder.isEmpty() ? QDir::currentPath() : request.folder);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

QString FileDialog::run(QWidget* parent, const FileDialogSpec& request, bool save)
{
    lastSpec() = request;
    if (!scriptedNames().empty()) {
        const QString path = scriptedNames().front();
        scriptedNames().pop_front();
        return withDefaultExtension(path, request.defaultExtension);
    }

    QFileDialog dialog(parent, request.title);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = nameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(request.defaultExtension);
    dialog.setDirectory(request.folder.isEmpty() ? QDir::currentPath() : request.folder);
    if (!request.defaultName.isEmpty())
        dialog.selectFile(request.defaultName);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : withDefaultExtension(chosen.first(), request.defaultExtension);
}

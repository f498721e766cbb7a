#include "Folders.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/AtomicFile.h"
#include "base/StringTable.h"

using namespace Qt::Literals::StringLiterals;

namespace folders {

namespace {

// Removes everything inside the folder open as `fd` (which this takes over). Entries are
// examined without following links and opened relative to their parent, so a link met on the
// way, or put in place while we work, is unlinked rather than entered.
bool emptyFolder(int fd)
{
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (e == nullptr)
            break;
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    }
    bool ok = errno == 0;
    const int parent = ::dirfd(dir);
    // One entry that cannot go does not keep the others: all that can be deleted is, then the
    // whole fails.
    for (const std::string& name : names) {
        struct stat st {};
        bool gone = false;
        if (::fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            gone = false;
        } else if (S_ISDIR(st.st_mode)) {
            const int child = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            gone = child >= 0 && emptyFolder(child) && ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
        } else {
            gone = ::unlinkat(parent, name.c_str(), 0) == 0;
        }
        ok = ok && gone;
    }
    ::closedir(dir);
    return ok;
}

// strerror_r comes in two flavours; each overload picks the text out of its own.
[[maybe_unused]] const char* errorTextOf(int rc, const char* buffer)
{
    return rc == 0 ? buffer : nullptr;
}

[[maybe_unused]] const char* errorTextOf(const char* text, const char*)
{
    return text;
}

} // namespace

QString join(const QString& folder, const QString& name)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

QString fileNameOf(const QString& path)
{
    const qsizetype cut = std::max({path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'), path.lastIndexOf(u':')});
    const QString name = path.mid(cut + 1);
    return name == u"." || name == u".." ? QString() : name;
}

QString devicesFolder(const QString& workingFolder)
{
    return join(workingFolder, LoadResString(104, u"Devices"_s));
}

QString deviceArchivesFolder(const QString& workingFolder)
{
    const QString name = LoadResString(109, QString());
    return name.isEmpty() ? QString() : join(workingFolder, name);
}

QString mapsFolder(const QString& workingFolder)
{
    return join(workingFolder, LoadResString(188, u"Maps"_s));
}

QString reportsFolder(const QString& workingFolder)
{
    return join(workingFolder, LoadResString(178, u"Reports"_s));
}

QString reportFilePath(const QString& workingFolder, const QString& shortName)
{
    return join(reportsFolder(workingFolder), shortName + u".tsr"_s);
}

bool createPath(const QString& path)
{
    return !path.isEmpty() && QDir().mkpath(path);
}

HRESULT findFiles(const QString& pattern, QStringList& names)
{
    const qsizetype slash = pattern.lastIndexOf(u'/');
    const QString folder = slash < 0 ? u"."_s : (slash == 0 ? u"/"_s : pattern.left(slash));
    const QString wildcard = pattern.mid(slash + 1);
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable())
        return E_FAIL;
    // Regular files and links to them, those whose names start with "." too, as Windows lists
    // them; pipes and devices are left out, as they would block a reader.
    QStringList found = QDir(folder).entryList({wildcard}, QDir::Files | QDir::Hidden, QDir::Unsorted);
    sortNames(found);
    names += found;
    return S_OK;
}

bool listFolders(const QString& folder, QStringList& names)
{
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable())
        return false;
    QStringList found = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    sortNames(found);
    names += found;
    return true;
}

void sortNames(QStringList& names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

bool deleteTree(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode))
        return ::unlink(native.constData()) == 0;
    if (!S_ISDIR(st.st_mode))
        return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd >= 0 && emptyFolder(fd) && ::rmdir(native.constData()) == 0;
}

bool moveFolder(const QString& from, const QString& to, QString* error)
{
    const QByteArray src = QFile::encodeName(from);
    const QByteArray dst = QFile::encodeName(to);
    int code = 0;
    struct stat st {};
    // rename() would quietly replace an empty folder of that name.
    if (::lstat(dst.constData(), &st) == 0)
        code = EEXIST;
    else if (::rename(src.constData(), dst.constData()) != 0)
        code = errno;
    if (code != 0 && error != nullptr)
        *error = systemErrorText(code);
    return code == 0;
}

bool copyReplacing(const QString& from, const QString& to, QString* error)
{
    const QString fromCanonical = QFileInfo(from).canonicalFilePath();
    if (!fromCanonical.isEmpty() && fromCanonical == QFileInfo(to).canonicalFilePath())
        return true;
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        if (error != nullptr)
            *error = in.errorString();
        return false;
    }
    AtomicFile out(to);
    if (!out.open()) {
        if (error != nullptr)
            *error = out.errorString();
        return false;
    }
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n < 0) {
            if (error != nullptr)
                *error = in.errorString();
            return false;
        }
        if (n == 0)
            break;
        if (!out.write(QByteArrayView(chunk.constData(), qsizetype(n)))) {
            if (error != nullptr)
                *error = out.errorString();
            return false;
        }
    }
    if (!out.commit()) {
        if (error != nullptr)
            *error = out.errorString();
        return false;
    }
    return true;
}

QString systemErrorText(int code)
{
    if (code <= 0)
        return {};
    char buffer[256] = {};
    const char* text = errorTextOf(::strerror_r(code, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return {};
    const QString result = QString::fromLocal8Bit(text);
    // glibc's answer for a code it has no message for.
    if (result.startsWith(u"Unknown error"_s))
        return {};
    return result;
}

} // namespace folders

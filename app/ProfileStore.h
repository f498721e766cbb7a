#pragma once

#include <memory>

#include <QString>

class QSettings;

// The program's settings store: an INI file, read and written key by key.
class ProfileStore
{
public:
    explicit ProfileStore(const QString& iniPath);
    ~ProfileStore();
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    // Integers as the Windows profile functions read them: a missing or unreadable value gives
    // the default.
    long long readInt(const QString& section, const QString& key, long long defaultValue) const;
    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    bool writeInt(const QString& section, const QString& key, long long value);
    bool writeString(const QString& section, const QString& key, const QString& value);
    void sync();

    QString path() const;
    // The names of a section's keys, for the sections other code enumerates.
    QStringList keys(const QString& section) const;

    // The per-user file used when there is no working folder.
    static QString userIniPath();

private:
    QString fullKey(const QString& section, const QString& key) const;

    std::unique_ptr<QSettings> m_settings;
};

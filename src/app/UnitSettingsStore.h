#pragma once

#include <QSettings>
#include <QString>

#include <memory>

// The client's settings: sections of named values, every read naming its
// default. Integers are kept in the form already stored (a number written by
// hand as text stays text); booleans are the strings "0" and "1".
class SettingsStore {
public:
    // The settings of the current user ($XDG_CONFIG_HOME/NELQ/NELQ.ini here,
    // the registry key Software\NELQ on Windows).
    SettingsStore();
    // Settings kept in the given INI file (tests).
    explicit SettingsStore(const QString& iniFile);

    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    int ReadInteger(const QString& section, const QString& key, int fallback) const;
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    QString FileName() const { return Settings->fileName(); }
    // Where the current user's settings are kept.
    static QString UserFileName();

private:
    static QString Path(const QString& section, const QString& key);

    std::unique_ptr<QSettings> Settings;
};

inline const QString SettingsSection = QStringLiteral("Settings");

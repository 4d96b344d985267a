#include "app/UnitSettingsStore.h"

#include <QFile>
#include <QMetaType>
#include <QStandardPaths>

namespace {

// The text after "key=" in the file's [section], as it was written there.
QString RawIniText(const QString& file, const QString& section, const QString& key) {
    QFile ini(file);
    if (!ini.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString current;
    QString text;
    while (!ini.atEnd()) {
        const QString line = QString::fromUtf8(ini.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (current == section && equals > 0 && line.left(equals).trimmed() == key)
            text = line.mid(equals + 1).trimmed();
    }
    return text;
}

} // namespace

QString SettingsStore::UserFileName() {
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\NELQ");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/NELQ/NELQ.ini");
#endif
}

SettingsStore::SettingsStore()
#ifdef Q_OS_WIN
    : Settings(std::make_unique<QSettings>(UserFileName(), QSettings::NativeFormat))
#else
    : Settings(std::make_unique<QSettings>(UserFileName(), QSettings::IniFormat))
#endif
{
}

SettingsStore::SettingsStore(const QString& iniFile)
    : Settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QString SettingsStore::Path(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

QString SettingsStore::ReadString(const QString& section, const QString& key,
                                  const QString& fallback) const {
    const QVariant value = Settings->value(Path(section, key));
    if (!value.isValid())
        return fallback;
    // An INI value written by hand with a comma and no quotes reads as a list
    // of strings, which would come back empty; the user meant the whole text.
    if (value.typeId() == QMetaType::QStringList && Settings->format() == QSettings::IniFormat)
        return RawIniText(Settings->fileName(), section, key);
    return value.toString();
}

int SettingsStore::ReadInteger(const QString& section, const QString& key, int fallback) const {
    const QVariant value = Settings->value(Path(section, key));
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const int number = value.typeId() == QMetaType::QString ? value.toString().trimmed().toInt(&ok)
                                                            : value.toInt(&ok);
    return ok ? number : fallback;
}

bool SettingsStore::ReadBool(const QString& section, const QString& key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void SettingsStore::WriteString(const QString& section, const QString& key, const QString& value) {
    Settings->setValue(Path(section, key), value);
    Settings->sync();
}

void SettingsStore::WriteInteger(const QString& section, const QString& key, int value) {
    // A value that exists as text is rewritten as text, so hand edits keep their form.
    const QVariant existing = Settings->value(Path(section, key));
    if (existing.isValid() && existing.typeId() == QMetaType::QString)
        Settings->setValue(Path(section, key), QString::number(value));
    else
        Settings->setValue(Path(section, key), value);
    Settings->sync();
}

void SettingsStore::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

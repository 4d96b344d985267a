#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "app/UnitSettingsStore.h"

#include <QRegularExpression>

#include <set>

namespace {

// A text and a number the client reads, and the first plain key names of
// the file (every write costs a whole file).
std::set<QString> KeysOf(const QString& text) {
    std::set<QString> keys{"GameLauncher", "AudioIndex"};
    static const QRegularExpression key(QStringLiteral("^\\s*([A-Za-z0-9]+)\\s*="),
                                        QRegularExpression::MultilineOption);
    for (auto it = key.globalMatch(text); it.hasNext() && keys.size() < 6;)
        keys.insert(it.next().captured(1));
    return keys;
}

} // namespace

// The settings file as a user may have edited it by hand: every value the
// client reads must be written back so that it reads the same again.
void FuzzSettings(const std::uint8_t* data, std::size_t size) {
    TScratchDir scratch;
    const QString file = QString::fromStdString(scratch / "NELQ.ini");
    WriteFile(file.toStdString(), AsText(data, size));
    const auto keys = KeysOf(QString::fromUtf8(reinterpret_cast<const char*>(data),
                                               static_cast<qsizetype>(size)));
    SettingsStore settings(file);
    for (const QString& key : keys) {
        const QString text = settings.ReadString(SettingsSection, key, "-");
        const int number = settings.ReadInteger(SettingsSection, key, -7);
        settings.WriteString(SettingsSection, key, text);
        FuzzCheck(SettingsStore(file).ReadString(SettingsSection, key, "-") == text,
                  "text of " + key.toStdString() + " does not read back");
        settings.WriteInteger(SettingsSection, key, number);
        FuzzCheck(SettingsStore(file).ReadInteger(SettingsSection, key, -7) == number,
                  "number of " + key.toStdString() + " does not read back");
    }
    CheckWrittenOnlyInside(scratch.Path(), {"NELQ.ini", "NELQ.ini.lock"});
}

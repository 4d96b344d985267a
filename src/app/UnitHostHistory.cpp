#include "app/UnitHostHistory.h"

#include "app/UnitSettingsStore.h"

#include <QComboBox>

void LoadHostHistory(QComboBox& box, const SettingsStore& settings) {
    const QString typed = box.currentText();
    box.clear();
    for (int i = 0; i < HostHistoryDepth; ++i) {
        const QString host = settings.ReadString(box.objectName(), QString::number(i), QString());
        if (!host.isEmpty())
            box.addItem(host);
    }
    box.setCurrentIndex(-1);
    box.setEditText(typed);
}

void SaveHostHistory(QComboBox& box, SettingsStore& settings) {
    const QString typed = box.currentText();
    const QString host = typed.toLower();
    const int existing = box.findText(host, Qt::MatchFixedString); // letter case ignored
    if (existing >= 0)
        box.removeItem(existing);
    box.insertItem(0, host);
    box.setCurrentIndex(-1);
    box.setEditText(typed);
    for (int i = 0; i < HostHistoryDepth; ++i) {
        const QString entry = i < box.count() ? box.itemText(i).toLower() : QString();
        settings.WriteString(box.objectName(), QString::number(i), entry);
    }
}

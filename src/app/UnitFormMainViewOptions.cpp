#include "app/UnitFormMain.h"

#include "app/UnitClientPrefs.h"
#include "app/pages/PagesViewer.h"

namespace {

TribesDisplayPrefs ChoicesOn(const TPageViewOptions& page) {
    TribesDisplayPrefs prefs;
    prefs.Windowed = page.CheckBoxTribesWindowed->isChecked();
    prefs.VideoMode = page.ComboBoxVideoMode->currentText().toStdString();
    prefs.Volume = page.TrackBarTribesVolume->value();
    return prefs;
}

void ShowChoices(TPageViewOptions& page, const TribesDisplayPrefs& prefs) {
    page.CheckBoxTribesWindowed->setChecked(prefs.Windowed);
    page.ComboBoxVideoMode->setCurrentIndex(
        std::max(0, page.ComboBoxVideoMode->findText(QString::fromStdString(prefs.VideoMode))));
    page.TrackBarTribesVolume->setValue(prefs.Volume);
}

} // namespace

void TFormMain::WriteClientPrefs() {
    ::WriteClientPrefs(GameDirectory.toStdString(), ChoicesOn(*ViewOptions));
}

void TFormMain::ReadClientPrefs() {
    TribesDisplayPrefs prefs = ChoicesOn(*ViewOptions);
    if (::ReadClientPrefs(GameDirectory.toStdString(), prefs))
        ShowChoices(*ViewOptions, prefs);
}

void TFormMain::StoreViewOptions() {
    WriteClientPrefs();
    Settings->WriteBool(SettingsSection, QStringLiteral("AudioOnly"),
                        ViewOptions->CheckBoxAudioOnly->isChecked());
}

#include "app/UnitFormMain.h"

#include "app/pages/PagesFilmer.h"
#include "audio/UnitAudioCapture.h"
#include "mixer/UnitFormMusicMixer.h"
#include "session/UnitFilmController.h"

void TFormMain::CreateMusicMixer() {
    const TMixerSettings settings{[this](const QString& key, const QString& fallback) {
                                      return FSettings->ReadString(SettingsSection, key, fallback);
                                  },
                                  [this](const QString& key, const QString& value) {
                                      FSettings->WriteString(SettingsSection, key, value);
                                  },
                                  [this](const QString& key, int fallback) {
                                      return FSettings->ReadInteger(SettingsSection, key, fallback);
                                  },
                                  [this](const QString& key, int value) {
                                      FSettings->WriteInteger(SettingsSection, key, value);
                                  }};
    FMusicMixer = std::make_unique<TFormMusicMixer>(
        AppDirectory, settings, [this] { return RecordingFormat(); }, MusicMonitorDevice);

    connect(Filming->ButtonMusicMixer, &QPushButton::clicked, this, [this] {
        if (FMusicMixer) {
            FMusicMixer->show();
            FMusicMixer->raise();
        }
    });
}

TRecordingFormat TFormMain::RecordingFormat() const {
    if (const TAudioCapture* capture = FFilmRun ? FFilmRun->AudioCapture() : nullptr)
        return capture->RecordingFormat();
    // Not filming yet: the format the next run will record in.
    return MakeRecordingFormat(
        AudioQuality(FSettings->ReadInteger(SettingsSection, QStringLiteral("AudioIndex"), 0)));
}

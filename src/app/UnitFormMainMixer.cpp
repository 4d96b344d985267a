#include "app/UnitFormMain.h"

#include "app/pages/PagesFilmer.h"
#include "audio/UnitAudioCapture.h"
#include "mixer/UnitFormMusicMixer.h"
#include "session/UnitFilmController.h"

void TFormMain::CreateMusicMixer() {
    const TMixerSettings settings{[this](const QString& key, const QString& fallback) {
                                      return Settings->ReadString(SettingsSection, key, fallback);
                                  },
                                  [this](const QString& key, const QString& value) {
                                      Settings->WriteString(SettingsSection, key, value);
                                  },
                                  [this](const QString& key, int fallback) {
                                      return Settings->ReadInteger(SettingsSection, key, fallback);
                                  },
                                  [this](const QString& key, int value) {
                                      Settings->WriteInteger(SettingsSection, key, value);
                                  }};
    FormMusicMixer = std::make_unique<TFormMusicMixer>(
        AppDirectory, settings, [this] { return RecordingFormat(); }, MusicMonitorDevice);

    connect(Filming->ButtonMusicMixer, &QPushButton::clicked, this, [this] {
        if (FormMusicMixer) {
            FormMusicMixer->show();
            FormMusicMixer->raise();
        }
    });
    // Looked up at every packet: the capture may outlive the mixer window.
    Film->MixMusic = [this](uint8_t* data, int size) {
        if (FormMusicMixer)
            FormMusicMixer->MixMusic(data, size);
    };
    Film->StopMusic = [this] {
        if (FormMusicMixer)
            FormMusicMixer->HideAndStop();
    };
}

void TFormMain::FreeMusicMixer() {
    FormMusicMixer.reset();
}

TRecordingFormat TFormMain::RecordingFormat() const {
    if (const TAudioCapture* capture = Film->AudioCapture())
        return capture->RecordingFormat();
    // Not filming yet: the format the next run will record in.
    return MakeRecordingFormat(
        AudioQuality(Settings->ReadInteger(SettingsSection, QStringLiteral("AudioIndex"), 0)));
}

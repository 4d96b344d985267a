// The mixer window: settings, file browser, playlist page and, with the test
// sound server, local playback on a sink of its own.

#include "../app/QtTestSupport.h"
#include "PrivateSoundDevice.h"
#include "MixerTestFiles.h"
#include "mixer/UnitFormMusicMixer.h"

#include <QFileSystemModel>
#include <QListView>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <map>

namespace {
class FormMusicMixer : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

    std::unique_ptr<TFormMusicMixer> NewForm(const QAudioDevice& output = QAudioDevice()) {
        TMixerSettings settings{
            [this](const QString& key, const QString& fallback) {
                return Strings.count(key) ? Strings[key] : fallback;
            },
            [this](const QString& key, const QString& value) { Strings[key] = value; },
            [this](const QString& key, int fallback) {
                return Integers.count(key) ? Integers[key] : fallback;
            },
            [this](const QString& key, int value) { Integers[key] = value; }};
        return std::make_unique<TFormMusicMixer>(
            QString::fromStdString(Dir.Path.string() + "/"), settings,
            [] { return MakeRecordingFormat(AudioQuality(3)); }, output);
    }

    // The file list's entries once the browser has read the directory.
    QStringList FileList(TFormMusicMixer& form, int expected) {
        QListView* view = form.LsFilelistView28;
        const auto entries = [&] {
            QStringList names;
            for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
                names << view->model()->index(row, 0, view->rootIndex()).data().toString();
            names.sort();
            return names;
        };
        PumpUntil([&] { return entries().size() == expected; }, 20000);
        return entries();
    }

    void SelectFile(TFormMusicMixer& form, const std::string& path) {
        auto* model = static_cast<QFileSystemModel*>(form.LsFilelistView28->model());
        form.LsFilelistView28->setCurrentIndex(model->index(QString::fromStdString(path)));
    }

    QStringList Tracks(TFormMusicMixer& form) {
        QStringList names;
        for (int i = 0; i < form.ListViewPlaylist->topLevelItemCount(); ++i)
            names << form.ListViewPlaylist->topLevelItem(i)->text(0);
        return names;
    }

    ScratchDir Dir;
    std::map<QString, QString> Strings;
    std::map<QString, int> Integers;
};
} // namespace

TEST_F(FormMusicMixer, StartsFromTheSettingsAndWritesTheVolumesBack) {
    Strings["MusicDirectory"] = QString::fromStdString(Dir / "gone");
    auto form = NewForm();
    EXPECT_EQ(form->windowTitle(), "NELQ Music Mixer");
    EXPECT_TRUE(form->isHidden());
    EXPECT_EQ(form->PageControl->tabText(0), "Explorer");
    EXPECT_EQ(form->PageControl->tabText(1), "Playlist");
    EXPECT_EQ(form->PageControl->currentIndex(), 0);
    EXPECT_EQ(form->ListViewPlaylist->headerItem()->text(0), "Track");
    EXPECT_EQ(form->TimerMonitorPlayback->interval(), 50);
    // A music directory that has gone shows the drives.
    EXPECT_EQ(form->FileListDirectory(), QDir::rootPath());
    EXPECT_EQ(Integers["CastVolume"], 100);
    EXPECT_EQ(Integers["MusicVolume"], 20);
    EXPECT_DOUBLE_EQ(form->Mixer->MusicFactor(), 0.2);
    EXPECT_FALSE(form->ButtonPlay->isEnabled());
    EXPECT_FALSE(form->ButtonStop->isEnabled());

    // Both ends of both sliders.
    form->SliderCastVolume->setValue(0);
    form->SliderMusicVolume->setValue(100);
    EXPECT_EQ(Integers["CastVolume"], 0);
    EXPECT_EQ(Integers["MusicVolume"], 100);
    EXPECT_DOUBLE_EQ(form->Mixer->CastFactor(), 0.0);
    EXPECT_DOUBLE_EQ(form->Mixer->MusicFactor(), 1.0);
    form.reset();
    auto again = NewForm();
    EXPECT_EQ(again->SliderCastVolume->value(), 0);
    EXPECT_EQ(again->SliderMusicVolume->value(), 100);
}

TEST_F(FormMusicMixer, ThePlaylistFileIsShownByNameAndEditedFromThePlaylistPage) {
    WriteAll(Dir / "playlist.txt", "/music/one.mp3\r\n\r\n/music/gone/two.mp3\r\n/three.mp3\r\n");
    auto form = NewForm();
    EXPECT_EQ(Tracks(*form), (QStringList{"one.mp3", "two.mp3", "three.mp3"}));
    EXPECT_FALSE(form->ButtonRemove->isEnabled());

    form->SelectPlaylistItem(2);
    form->UpdateActions();
    EXPECT_TRUE(form->ButtonMoveUp->isEnabled());
    QTest::mouseClick(form->ButtonMoveUp, Qt::LeftButton);
    EXPECT_EQ(Tracks(*form), (QStringList{"one.mp3", "three.mp3", "two.mp3"}));
    EXPECT_EQ(form->SelectedPlaylistIndex(), 1);
    EXPECT_EQ(ReadAll(Dir / "playlist.txt"),
              "/music/one.mp3\r\n/three.mp3\r\n/music/gone/two.mp3\r\n");
    QTest::mouseClick(form->ButtonMoveDown, Qt::LeftButton);
    QTest::mouseClick(form->ButtonMoveDown, Qt::LeftButton); // already last
    EXPECT_EQ(form->SelectedPlaylistIndex(), 2);
    QTest::mouseClick(form->ButtonRemove, Qt::LeftButton);
    EXPECT_EQ(Tracks(*form), (QStringList{"one.mp3", "two.mp3"}));
    EXPECT_EQ(form->SelectedPlaylistIndex(), 1);
    EXPECT_EQ(ReadAll(Dir / "playlist.txt"), "/music/one.mp3\r\n/music/gone/two.mp3\r\n");

    // A track that is not there: the reason on the status bar, nothing plays.
    form->ListViewPlaylistDblClick();
    ASSERT_TRUE(PumpUntil([&] { return !form->Mixer->Opening(); }, 30000));
    EXPECT_TRUE(form->StatusBar->currentMessage().startsWith("Cannot play"));
    EXPECT_TRUE(form->StatusBar->currentMessage().contains("two.mp3"));
    EXPECT_FALSE(form->Mixer->Playing());
    EXPECT_FALSE(form->ButtonPlay->isEnabled());
}

TEST_F(FormMusicMixer, TheBrowserListsMp3FilesAndDirectoriesAndAddsOnDoubleClick) {
    const std::string music = Dir / "music";
    std::filesystem::create_directories(music + "/more");
    const std::string tone = MakeToneMp3(Dir, "music/tone", 1, 440, 16000, 1);
    WriteAll(music + "/notes.txt", "not music");
    WriteAll(music + "/fake.mp3", "not music either");
    Strings["MusicDirectory"] = QString::fromStdString(music);
    auto form = NewForm();
    EXPECT_EQ(form->FileListDirectory(), QString::fromStdString(music));
    EXPECT_EQ(FileList(*form, 3), (QStringList{"fake.mp3", "more", "tone.mp3"}));
    EXPECT_TRUE(form->LsFilelistView28->editTriggers() == QAbstractItemView::NoEditTriggers);

    SelectFile(*form, tone);
    EXPECT_TRUE(form->ActionPlayMP3->isEnabled());
    EXPECT_TRUE(form->ActionAddMP3->isEnabled());
    form->LsFilelistView28DblClick();
    EXPECT_EQ(form->Mixer->Playlist(), std::vector<std::string>{tone});
    EXPECT_EQ(ReadAll(Dir / "playlist.txt"), tone + "\r\n");
    EXPECT_EQ(Strings["MusicDirectory"], QString::fromStdString(music));

    // "Play MP3" on a file that is no MP3: a clear word, nothing plays.
    SelectFile(*form, music + "/fake.mp3");
    form->ActionPlayMP3->trigger();
    ASSERT_TRUE(PumpUntil([&] { return !form->Mixer->Opening(); }, 30000));
    EXPECT_TRUE(form->StatusBar->currentMessage().startsWith("Cannot play"));
    EXPECT_TRUE(form->StatusBar->currentMessage().contains("fake.mp3"));
    EXPECT_FALSE(form->Mixer->Playing());

    SelectFile(*form, music + "/more");
    EXPECT_FALSE(form->ActionPlayMP3->isEnabled());
    form->LsFilelistView28DblClick();
    EXPECT_EQ(form->FileListDirectory(), QString::fromStdString(music + "/more"));
    EXPECT_EQ(Strings["MusicDirectory"], QString::fromStdString(music + "/more"));
    EXPECT_EQ(form->Mixer->Playlist().size(), 1u);
}

TEST_F(FormMusicMixer, PlaysATrackOnTheSoundCardAndStopsAtItsEnd) {
    if (qEnvironmentVariableIsEmpty("NELQ_TEST_AUDIO"))
        GTEST_SKIP() << "needs the test audio environment (scripts/test-env)";
    TPrivateSoundDevice device;
    ASSERT_FALSE(device.Output().isNull());
    Integers["MusicVolume"] = 100;
    auto form = NewForm(device.Output());
    const std::string tone = MakeToneMp3(Dir, "tone", 2, 880, 22050, 1);
    TMonitorCapture heard(device.Monitor());
    form->Mixer->PlayFile(tone);
    ASSERT_TRUE(PumpUntil([&] { return form->Mixer->Playing(); }, 30000));
    EXPECT_EQ(form->StatusBar->currentMessage(), "tone.mp3");
    EXPECT_TRUE(form->ButtonStop->isEnabled());
    EXPECT_EQ(form->TrackBarPlayingTime->maximum(), 2);
    EXPECT_TRUE(form->TimerMonitorPlayback->isActive());
    EXPECT_EQ(device.PlayingStreamFormat(), "s16le 1ch 22050Hz");

    ASSERT_TRUE(PumpUntil([&] { return !form->Mixer->Playing(); }, 30000));
    EXPECT_EQ(form->TrackBarPlayingTime->value(), 0);
    EXPECT_TRUE(form->ButtonPlay->isEnabled());
    EXPECT_FALSE(form->TimerMonitorPlayback->isActive());
    const std::vector<int16_t>& samples = heard.Samples();
    ASSERT_GT(samples.size(), size_t(TMonitorCapture::Rate));
    // The loudest second of what the sink's monitor heard holds the tone.
    double best = 0;
    for (size_t at = 0; at + TMonitorCapture::Rate <= samples.size();
         at += TMonitorCapture::Rate / 4)
        best = std::max(best, ToneAmplitude({samples.begin() + long(at),
                                             samples.begin() + long(at) + TMonitorCapture::Rate},
                                            TMonitorCapture::Rate, 880));
    EXPECT_GT(best, 16384 * 0.7);
}

TEST_F(FormMusicMixer, TheFolderTreeFollowsTheFileListIntoAFolder) {
    // Under a hidden folder, as the client's own data directory is.
    const std::string music = Dir / ".local/music";
    std::filesystem::create_directories(music + "/more/deeper");
    // Folders that sort before the ones entered: rows that the tree reads
    // in later push those entered out of a view that does not follow.
    for (int i = 0; i < 40; ++i)
        for (const std::string& parent : {Dir.Path.string(), music, music + "/more"})
            std::filesystem::create_directories(parent + "/a" + std::to_string(100 + i));
    Strings["MusicDirectory"] = QString::fromStdString(music);
    auto form = NewForm();
    form->show();
    const auto* tree = form->LsDirTreeCombo28;
    const auto* folders = static_cast<const QFileSystemModel*>(tree->model());
    // The tree's current folder, in view.
    const auto shownInTree = [&](const std::string& folder) {
        const QModelIndex index = folders->index(QString::fromStdString(folder));
        const QRect row = tree->visualRect(index);
        return tree->currentIndex() == index && !row.isEmpty() &&
               tree->viewport()->rect().contains(row);
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownInTree(music); }, 20000));
    for (const std::string& folder : {music + "/more", music + "/more/deeper"}) {
        ASSERT_EQ(FileList(*form, 41).size(), 41);
        SelectFile(*form, folder);
        form->LsFilelistView28DblClick();
        EXPECT_TRUE(QTest::qWaitFor([&] { return shownInTree(folder); }, 20000)) << folder;
    }
}

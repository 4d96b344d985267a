#include "app/pages/PagesFilmer.h"

#include "app/UnitSettingsStore.h"
#include "app/pages/PageKit.h"
#include "audio/UnitAudioQualityList.h"

#include <QGridLayout>
#include <QHBoxLayout>

#include <algorithm>
#include <stdexcept>

using namespace PageKit;

namespace {

constexpr int FieldLength = 40;

QLineEdit* Edit(QWidget* parent, const QString& name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QComboBox* DropDown(QWidget* parent, const QString& name, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    return box;
}

QLabel* Panel(QWidget* parent, const QString& name, const QString& text, const QColor& colour) {
    QLabel* panel = Text(parent, text, true);
    panel->setObjectName(name);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setMinimumHeight(22);
    if (colour.isValid())
        panel->setStyleSheet(QStringLiteral("QLabel { color: %1; }").arg(colour.name()));
    return panel;
}

} // namespace

TPageFilmOptions::TPageFilmOptions(QAction* actionSelectRecordings, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("Film Options"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(1);
    int row = 0;
    const auto add = [&](const QString& caption, QWidget* field) {
        grid->addWidget(Paragraph(this, caption), row++, 0, 1, 2);
        grid->addWidget(field, row++, 0, 1, field == EditDemoPathName ? 1 : 2);
    };

    EditPassword = Edit(this, QStringLiteral("EditPassword"));
    EditPassword->setMaxLength(FieldLength);
    PasswordField(EditPassword);
    add(QStringLiteral("Please enter the filming password"), EditPassword);

    EditGameName = Edit(this, QStringLiteral("EditGameName"));
    EditGameName->setMaxLength(FieldLength);
    connect(EditGameName, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int cursor = EditGameName->cursorPosition();
        EditGameName->setText(text.toUpper());
        EditGameName->setCursorPosition(cursor);
    });
    add(QStringLiteral("Please enter the name to give this game"), EditGameName);

    EditDemoPathName = Edit(this, QStringLiteral("EditDemoPathName"));
    PathField(EditDemoPathName);
    add(QStringLiteral("Select the path where your T2 recordings are saved"), EditDemoPathName);
    ButtonDemoBrowse = new QPushButton(this);
    ButtonDemoBrowse->setObjectName(QStringLiteral("ButtonDemoBrowse"));
    BindButtonToAction(ButtonDemoBrowse, actionSelectRecordings);
    grid->addWidget(ButtonDemoBrowse, row - 1, 1);

    ComboBoxRecordingType = DropDown(this, QStringLiteral("ComboBoxRecordingType"),
                                     {QStringLiteral("Directsound"), QStringLiteral("ACM")});
    add(QStringLiteral("Select recording method"), ComboBoxRecordingType);
    ComboBoxAudioRate = DropDown(this, QStringLiteral("ComboBoxAudioRate"), {});
    add(QStringLiteral("Select audio quality"), ComboBoxAudioRate);
    ComboBoxTransferRate = DropDown(this, QStringLiteral("ComboBoxTransferRate"),
                                    {"7000", "8000", "9000", "10000", "15000", "20000"});
    ComboBoxTransferRate->setEditable(true);
    add(QStringLiteral("Select the transfer rate you wish to transfer data \n"
                       "to the server at ( in bytes per second )"),
        ComboBoxTransferRate);
    ComboBoxSectionStep =
        DropDown(this, QStringLiteral("ComboBoxSectionStep"),
                 {QStringLiteral("Every Section - Filmer is high bandwidth "),
                  QStringLiteral("Every 2nd Section"), QStringLiteral("Every 3rd Section"),
                  QStringLiteral("Every 4th Section"), QStringLiteral("Every 5th Section"),
                  QStringLiteral("Every 6th Section - Filmer is low bandwidth")});
    add(QStringLiteral("Select how many start points sections"), ComboBoxSectionStep);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(0, 1);
}

TPageFilming::TPageFilming(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Filming"));
    QVBoxLayout* layout = PageLayout(this);
    LabelStartDemo = Text(this, QStringLiteral("Press your NELQ start key in T2 to begin"), true);
    LabelStartDemo->setObjectName(QStringLiteral("LabelStartDemo"));
    layout->addWidget(LabelStartDemo);
    LabelTransferedTo = Text(this, QStringLiteral("Transfered 0 bytes to NELQ server."));
    LabelTransferedTo->setObjectName(QStringLiteral("LabelTransferedTo"));
    layout->addWidget(LabelTransferedTo);
    layout->addWidget(
        Paragraph(this, QStringLiteral("An audio stream for shoutcasting will be recorded and \n"
                                       "encoded along with the demo stream.")));
    PanelAudioRecording = Panel(this, QStringLiteral("PanelAudioRecording"),
                                QStringLiteral("Audio Recording"), Qt::red);
    layout->addWidget(PanelAudioRecording);
    PanelDemoRecording = Panel(this, QStringLiteral("PanelDemoRecording"),
                               QStringLiteral("Demo Recording"), QColor(0, 0, 128));
    layout->addWidget(PanelDemoRecording);
    PanelPleaseWait =
        Panel(this, QStringLiteral("PanelPleaseWait"),
              QStringLiteral("Please wait while remaining data is uploaded to sever..."), QColor());
    PanelPleaseWait->setWordWrap(true);
    layout->addWidget(PanelPleaseWait);
    // While the remaining data goes up: what is left of it, counting down.
    LabelUploadBacklog = Paragraph(this, QString());
    LabelUploadBacklog->setObjectName(QStringLiteral("LabelUploadBacklog"));
    LabelUploadBacklog->hide();
    layout->addWidget(LabelUploadBacklog);
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    ButtonMusicMixer = new QPushButton(QStringLiteral("Music Mixer"), this);
    ButtonMusicMixer->setObjectName(QStringLiteral("ButtonMusicMixer"));
    ButtonStopFilming = new QPushButton(QStringLiteral("Stop Recording"), this);
    ButtonStopFilming->setObjectName(QStringLiteral("ButtonStopFilming"));
    buttons->addWidget(ButtonMusicMixer);
    buttons->addStretch();
    buttons->addWidget(ButtonStopFilming);
    layout->addLayout(buttons);
}

namespace {

constexpr int DefaultDataRate = 8000;
constexpr int DefaultSectionStep = 4;

} // namespace

bool TPageFilmOptions::ReadyForNext() const {
    return !EditGameName->text().isEmpty() && ComboBoxSectionStep->currentIndex() >= 0;
}

void TPageFilmOptions::LoadChoices(const SettingsStore& settings) {
    FillAudioQualityList(*ComboBoxAudioRate,
                         settings.ReadInteger(SettingsSection, QStringLiteral("AudioIndex"), 0));
    PageKit::SelectItemOrDefault(
        *ComboBoxRecordingType,
        settings.ReadInteger(SettingsSection, QStringLiteral("RecordingType"), 0), 0);

    // A stored rate that is none of the items selects the default one, so that
    // Next works on first use; a rate typed in is still checked.
    const int rate =
        settings.ReadInteger(SettingsSection, QStringLiteral("DataRate"), DefaultDataRate);
    const int rateItem = ComboBoxTransferRate->findText(QString::number(rate));
    ComboBoxTransferRate->setCurrentIndex(
        rateItem >= 0 ? rateItem : ComboBoxTransferRate->findText(QString::number(DefaultDataRate)));

    // A stored step outside 1..6 selects nothing: Next waits until one is picked.
    const qint64 step = qint64{settings.ReadInteger(SettingsSection, QStringLiteral("SectionStep"),
                                                    DefaultSectionStep)} -
                        1;
    ComboBoxSectionStep->setCurrentIndex(
        step >= 0 && step < ComboBoxSectionStep->count() ? static_cast<int>(step) : -1);
}

void TPageFilmOptions::StoreChoices(SettingsStore& settings) const {
    const int rate = TransferRate();
    settings.WriteInteger(SettingsSection, QStringLiteral("AudioIndex"),
                          std::max(0, ComboBoxAudioRate->currentIndex()));
    settings.WriteInteger(SettingsSection, QStringLiteral("RecordingType"),
                          ComboBoxRecordingType->currentIndex());
    settings.WriteInteger(SettingsSection, QStringLiteral("DataRate"), rate);
    settings.WriteInteger(SettingsSection, QStringLiteral("SectionStep"),
                          ComboBoxSectionStep->currentIndex() + 1);
}

int TPageFilmOptions::TransferRate() const {
    bool isNumber = false;
    const int rate = ComboBoxTransferRate->currentText().trimmed().toInt(&isNumber);
    if (!isNumber || rate <= 0)
        throw std::runtime_error("The transfer rate must be a whole number of bytes per second "
                                 "greater than 0, such as 8000.");
    return rate;
}

TFilmSettings TPageFilmOptions::FilmSettings() const {
    TFilmSettings settings;
    settings.FilmingPassword = EditPassword->text().toStdString();
    settings.GameName = EditGameName->text().toStdString();
    settings.RecordingsDirectory = EditDemoPathName->text().toStdString();
    settings.Rate = TransferRate();
    settings.SectionStep = ComboBoxSectionStep->currentIndex() + 1;
    settings.RecordingType = ComboBoxRecordingType->currentIndex();
    settings.AudioIndex = std::max(0, ComboBoxAudioRate->currentIndex());
    return settings;
}

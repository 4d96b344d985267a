#include "app/pages/PagesStatus.h"

#include "app/pages/PageKit.h"

#include <QFontDatabase>

using namespace PageKit;

TPageConnecting::TPageConnecting(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Connecting"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("Connecting Please Wait..."), true));
    MemoConsole = new QPlainTextEdit(this);
    MemoConsole->setObjectName(QStringLiteral("MemoConsole"));
    MemoConsole->setReadOnly(true);
    MemoConsole->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    MemoConsole->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(MemoConsole, 1);
    LabelEnding = Paragraph(this, QString());
    LabelEnding->setObjectName(QStringLiteral("LabelEnding"));
    LabelEnding->hide();
    layout->addWidget(LabelEnding);
    LabelPlayback = PlaybackLine(this);
    layout->addWidget(LabelPlayback);
}

void TPageConnecting::Clear() {
    MemoConsole->clear();
    ShowCaption({});
}

void TPageConnecting::ShowCaption(const QString& caption) {
    LabelEnding->setText(caption);
    LabelEnding->setVisible(!caption.isEmpty());
}

TPageOfflineViewing::TPageOfflineViewing(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Offline Viewing"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("Offline Viewing"), true));
    layout->addWidget(Text(this, QStringLiteral("Extracting Streams...")));
    ProgressBarExtract = new QProgressBar(this);
    ProgressBarExtract->setObjectName(QStringLiteral("ProgressBarExtract"));
    layout->addWidget(ProgressBarExtract);
    LabelPlayback = PlaybackLine(this);
    layout->addWidget(LabelPlayback);
    layout->addStretch();
}

#include "app/UnitFormAbout.h"

#include "app/SideBar.h"
#include "app/UnitNELQGlobal.h"
#include "app/pages/BalancedLabel.h"
#include "app/WindowFit.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

const char* const Credits =
    "NELQ Client Software is built with:\n"
    "\n"
    "Qt 6 - user interface, settings and audio devices (The Qt Company, LGPL 3)\n"
    "libogg, libvorbis, libvorbisenc, libvorbisfile - Ogg Vorbis commentary (Xiph.Org Foundation, "
    "BSD)\n"
    "zlib - recording compression (Jean-loup Gailly and Mark Adler)\n"
    "libbzip2 - section compression (Julian Seward)\n"
    "libzip - cast archives (Dieter Baron and Thomas Klausner, BSD)\n"
    "libmpg123 - music playback (the mpg123 project, LGPL 2.1)\n"
    "libsoxr - music conversion (Rob Sykes, LGPL 2.1)\n"
    "Asio - network connections (Christopher M. Kohlhoff, Boost licence)\n"
    "\n"
    "Tribes 2 is a trademark of its respective owners.";

} // namespace

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    LabelSoftwareName = new QLabel(this);
    LabelSoftwareName->setObjectName(QStringLiteral("LabelSoftwareName"));
    QFont bold = LabelSoftwareName->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 3);
    LabelSoftwareName->setFont(bold);
    LabelVersion = new QLabel(this);
    LabelVersion->setObjectName(QStringLiteral("LabelVersion"));
    LabelLegalCopyright = new BalancedLabel(QString(), this);
    LabelLegalCopyright->setObjectName(QStringLiteral("LabelLegalCopyright"));
    MemoCredits = new QPlainTextEdit(QString::fromLatin1(Credits), this);
    MemoCredits->setObjectName(QStringLiteral("MemoCredits"));
    MemoCredits->setReadOnly(true);
    MemoCredits->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    LabelWeb = SideBar::Link(this, QStringLiteral("NELQ web site"),
                             QStringLiteral("https://nelq.example.org/"));
    LabelWeb->setObjectName(QStringLiteral("LabelWeb"));
    LabelEmail = SideBar::Link(this, QStringLiteral("contact@nelq.example.org"),
                               QStringLiteral("mailto:contact@nelq.example.org"));
    LabelEmail->setObjectName(QStringLiteral("LabelEmail"));
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(LabelSoftwareName);
    text->addWidget(LabelVersion);
    text->addWidget(LabelLegalCopyright);
    text->addWidget(MemoCredits, 1);
    text->addWidget(LabelWeb);
    text->addWidget(LabelEmail);
    text->addWidget(ButtonOK, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(new SideBar(this, 120, 300), 0, Qt::AlignTop);
    layout->addLayout(text, 1);
}

void TFormAbout::showEvent(QShowEvent* event) {
    LabelSoftwareName->setText(QStringLiteral(NELQ_FILE_DESCRIPTION));
    LabelVersion->setText(QStringLiteral("Version: ") + QString::fromStdString(ClientVersion()));
    LabelLegalCopyright->setText(QStringLiteral(NELQ_LEGAL_COPYRIGHT));
    // Sized once the texts are in: they decide how much room the font needs.
    setFixedSize(FittedWindowSize(*this, {520, 330}));
    QDialog::showEvent(event);
}

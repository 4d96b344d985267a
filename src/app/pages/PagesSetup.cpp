#include "app/pages/PagesSetup.h"

#include "app/pages/PageKit.h"

#include <QAction>
#include <QCompleter>
#include <QEvent>

using namespace PageKit;

namespace {

// An editable host box over its history. Its completer matches letter case
// exactly: a case-blind one swaps the typed text for a history entry that
// differs only in case as soon as the focus leaves.
QComboBox* HostBox(QWidget* parent, const QString& name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->completer()->setCaseSensitivity(Qt::CaseSensitive);
    return box;
}

} // namespace

TPageLocateTribes2::TPageLocateTribes2(QAction* actionSelectT2, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Locate Tribes2"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("Locate Tribes 2"), true));

    // The version label stands large in the place of the instruction's three
    // empty lines, between its two parts, so that it covers none of its text.
    layout->addWidget(
        Paragraph(this, QStringLiteral("Select the location of the latest version ")));
    LabelT2Version = Text(this, QString(), true);
    LabelT2Version->setObjectName(QStringLiteral("LabelT2Version"));
    QFont large = LabelT2Version->font();
    large.setPointSize(large.pointSize() * 2);
    LabelT2Version->setFont(large);
    LabelT2Version->setAlignment(Qt::AlignCenter);
    LabelT2Version->setMinimumHeight(3 * fontMetrics().lineSpacing());
    layout->addWidget(LabelT2Version);
    layout->addWidget(Paragraph(
        this, QStringLiteral("of Tribes 2 executable and then click next. This will create \n"
                             "the patched Tribes 2 executable that NELQ will use to play \n"
                             "back a cast.")));
    layout->addStretch();

    EditTribes2Path = new QLineEdit(this);
    EditTribes2Path->setObjectName(QStringLiteral("EditTribes2Path"));
    EditTribes2Path->setReadOnly(true);
    layout->addWidget(EditTribes2Path);
    ButtonSelectTribes2 = new QPushButton(this);
    ButtonSelectTribes2->setObjectName(QStringLiteral("ButtonSelectTribes2"));
    BindButtonToAction(ButtonSelectTribes2, actionSelectT2);
    layout->addWidget(ButtonSelectTribes2, 0, Qt::AlignRight);
}

TPageInto::TPageInto(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Into"));
    QVBoxLayout* layout = PageLayout(this);
    layout->addWidget(Text(this, QStringLiteral("Welcome to the NELQ Client Software."), true));
    layout->addWidget(
        Paragraph(this, QStringLiteral("Select an option from the list below, then click next to \n"
                                       "proceed")));

    RadioButtonViewGame =
        new QRadioButton(QStringLiteral("View a game hosted on a NELQ server"), this);
    RadioButtonViewGame->setObjectName(QStringLiteral("RadioButtonViewGame"));
    layout->addWidget(RadioButtonViewGame);
    layout->addWidget(Text(this, QStringLiteral("Enter the IP address of the NELQ server")));
    ComboBoxViewHost = HostBox(this, QStringLiteral("ComboBoxViewHost"));
    layout->addWidget(ComboBoxViewHost);

    RadioButtonViewOffline = new QRadioButton(QStringLiteral("View an offline game"), this);
    RadioButtonViewOffline->setObjectName(QStringLiteral("RadioButtonViewOffline"));
    layout->addWidget(RadioButtonViewOffline);
    ListViewOffline =
        ListView(this, QStringLiteral("ListViewOffline"), {QStringLiteral("Stream Name")});
    ListViewOffline->setMinimumHeight(40);
    ActionExportArchive = new QAction(QStringLiteral("Export as archive\u2026"), this);
    ActionExportArchive->setObjectName(QStringLiteral("ActionExportArchive"));
    ActionExportArchive->setEnabled(false);
    ListViewOffline->addAction(ActionExportArchive);
    ListViewOffline->setContextMenuPolicy(Qt::ActionsContextMenu);
    layout->addWidget(ListViewOffline, 1);

    RadioButtonFilmGame = new QRadioButton(QStringLiteral("Film a game"), this);
    RadioButtonFilmGame->setObjectName(QStringLiteral("RadioButtonFilmGame"));
    layout->addWidget(RadioButtonFilmGame);
    layout->addWidget(Text(this, QStringLiteral("Enter the IP address of the NELQ server")));
    ComboBoxFilmHost = HostBox(this, QStringLiteral("ComboBoxFilmHost"));
    layout->addWidget(ComboBoxFilmHost);
    layout->addWidget(ClickNextHint(this));

    for (QWidget* w :
         {static_cast<QWidget*>(ComboBoxViewHost), static_cast<QWidget*>(ListViewOffline),
          static_cast<QWidget*>(ComboBoxFilmHost)})
        w->installEventFilter(this);
}

bool TPageInto::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == ComboBoxViewHost)
            emit ViewHostEntered();
        else if (watched == ListViewOffline)
            emit OfflineListEntered();
        else if (watched == ComboBoxFilmHost)
            emit FilmHostEntered();
    }
    return QWidget::eventFilter(watched, event);
}

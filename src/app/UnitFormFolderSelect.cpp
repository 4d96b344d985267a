#include "app/UnitFormFolderSelect.h"

#include "app/UnitNELQGlobal.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

TFormFolderSelect::TFormFolderSelect(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormFolderSelect"));
    setWindowTitle(QStringLiteral("Select Folder"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setModal(true);

    Folders = new QFileSystemModel(this);
    Folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    Folders->setRootPath(QString());

    SystemTreeViewMain = new QTreeView(this);
    SystemTreeViewMain->setObjectName(QStringLiteral("SystemTreeViewMain"));
    SystemTreeViewMain->setModel(Folders);
    SystemTreeViewMain->setHeaderHidden(true);
    for (int column = 1; column < Folders->columnCount(); ++column)
        SystemTreeViewMain->hideColumn(column);
    EditDirectory = new QLineEdit(this);
    EditDirectory->setObjectName(QStringLiteral("EditDirectory"));
    EditDirectory->setReadOnly(true);
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setEnabled(false);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));

    connect(SystemTreeViewMain->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormFolderSelect::SelectionChanged);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormFolderSelect::Accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SystemTreeViewMain, 1);
    layout->addWidget(EditDirectory);
    layout->addLayout(buttons);
    resize(360, 420);
}

QString TFormFolderSelect::SelectedPath() const {
    const QModelIndex current = SystemTreeViewMain->currentIndex();
    return current.isValid() ? Folders->filePath(current) : QString();
}

void TFormFolderSelect::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A folder that no longer exists simply leaves nothing selected.
    const QModelIndex index = SelectedFolder.isEmpty() || !QDir(SelectedFolder).exists()
                                  ? QModelIndex()
                                  : Folders->index(QDir(SelectedFolder).absolutePath());
    SystemTreeViewMain->setCurrentIndex(index);
    if (index.isValid())
        SystemTreeViewMain->scrollTo(index);
    SelectionChanged();
    SystemTreeViewMain->setFocus();
}

void TFormFolderSelect::SelectionChanged() {
    EditDirectory->setText(SelectedPath());
    ButtonOK->setEnabled(!SelectedPath().isEmpty());
}

void TFormFolderSelect::Accept() {
    if (SelectedPath().isEmpty())
        return;
    SelectedFolder = QString::fromStdString(IncludeTrailingSeparator(SelectedPath().toStdString()));
    accept();
}

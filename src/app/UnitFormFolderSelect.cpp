#include "app/UnitFormFolderSelect.h"

#include "app/LocalPath.h"
#include "app/UnitMessageBoxes.h"
#include "app/UnitNELQGlobal.h"
#include "app/pages/PageKit.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace {

// The folder itself when it exists, else the nearest folder above it that does.
QString NearestExisting(QString folder) {
    while (!QDir(folder).exists()) {
        const QString parent = QFileInfo(QDir::cleanPath(folder)).path();
        if (parent == folder)
            return QString();
        folder = parent;
    }
    return QDir(folder).absolutePath();
}

} // namespace

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
    SystemTreeViewMain->setSortingEnabled(true);
    SystemTreeViewMain->sortByColumn(0, Qt::AscendingOrder);
    for (int column = 1; column < Folders->columnCount(); ++column)
        SystemTreeViewMain->hideColumn(column);
    EditDirectory = new QLineEdit(this);
    EditDirectory->setObjectName(QStringLiteral("EditDirectory"));
    PageKit::PathField(EditDirectory);
    ButtonNewFolder = new QPushButton(QStringLiteral("New Folder"), this);
    ButtonNewFolder->setObjectName(QStringLiteral("ButtonNewFolder"));
    ButtonNewFolder->setEnabled(false);
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setEnabled(false);
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));

    connect(SystemTreeViewMain->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFormFolderSelect::SelectionChanged);
    connect(Folders, &QFileSystemModel::directoryLoaded, this, [this] {
        if (Shown.isValid())
            SystemTreeViewMain->scrollTo(Shown);
    });
    // Once the user moves about, the tree stays where they put it.
    connect(SystemTreeViewMain, &QTreeView::pressed, this, [this] { Shown = QModelIndex(); });
    connect(ButtonNewFolder, &QPushButton::clicked, this, &TFormFolderSelect::ButtonNewFolderClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormFolderSelect::Accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonNewFolder);
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
    // A folder that does not exist (yet) leaves nothing selected, but the
    // nearest folder above it is shown open, where the user would make it.
    const QString existing = SelectedFolder.isEmpty() ? QString() : NearestExisting(SelectedFolder);
    const QModelIndex nearest = existing.isEmpty() ? QModelIndex() : Folders->index(existing);
    const bool exists = nearest.isValid() && existing == QDir(SelectedFolder).absolutePath();
    SystemTreeViewMain->setCurrentIndex(exists ? nearest : QModelIndex());
    if (nearest.isValid() && !exists)
        SystemTreeViewMain->expand(nearest);
    ShowFolder(nearest);
    SelectionChanged();
    SystemTreeViewMain->setFocus();
}

void TFormFolderSelect::ShowFolder(const QModelIndex& folder) {
    Shown = folder;
    if (folder.isValid())
        SystemTreeViewMain->scrollTo(folder);
}

void TFormFolderSelect::SelectionChanged() {
    EditDirectory->setText(SelectedPath());
    ButtonOK->setEnabled(!SelectedPath().isEmpty());
    ButtonNewFolder->setEnabled(!SelectedPath().isEmpty());
}

void TFormFolderSelect::Accept() {
    if (SelectedPath().isEmpty())
        return;
    SelectedFolder = QString::fromStdString(IncludeTrailingSeparator(SelectedPath().toStdString()));
    accept();
}

void TFormFolderSelect::ButtonNewFolderClick() {
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("New Folder"),
                                               QStringLiteral("Name of the new folder:"),
                                               QLineEdit::Normal, QString(), &ok);
    if (ok && !name.trimmed().isEmpty())
        CreateFolder(name.trimmed());
}

bool TFormFolderSelect::CreateFolder(const QString& name) {
    const QString parent = SelectedPath();
    if (parent.isEmpty())
        return false;
    if (name.contains(QLatin1Char('/')) || name == QStringLiteral(".") ||
        name == QStringLiteral("..")) {
        ShowErrorBox(this, QStringLiteral("\"%1\" cannot be a folder name: a name must not "
                                          "contain \"/\" or be \".\" or \"..\".")
                               .arg(name));
        return false;
    }
    const QString path = QDir(parent).filePath(name);
    if (QFileInfo::exists(path)) {
        ShowErrorBox(this, QStringLiteral("\"%1\" already exists in \"%2\".").arg(name, parent));
        return false;
    }
    std::error_code error;
    std::filesystem::create_directory(LocalPath(path), error);
    if (error) {
        ShowErrorBox(this, QStringLiteral("Could not create the folder \"%1\": %2.")
                               .arg(path, QString::fromStdString(error.message())));
        return false;
    }
    const QModelIndex created = Folders->index(path);
    SystemTreeViewMain->setCurrentIndex(created);
    ShowFolder(created);
    return true;
}

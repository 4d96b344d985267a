#pragma once

#include <QDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QTreeView>

// Lets the user pick a folder from the file system's folder tree.
class TFormFolderSelect : public QDialog {
    Q_OBJECT
public:
    explicit TFormFolderSelect(QWidget* parent = nullptr);

    QTreeView* SystemTreeViewMain;
    QLineEdit* EditDirectory;
    QPushButton* ButtonNewFolder;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;

    // Handed in before showing; on OK, the chosen folder with a trailing separator.
    QString SelectedFolder;

    // The folder selected in the tree, empty when none is.
    QString SelectedPath() const;

    // Makes a folder `name` in the selected one and selects it; false, after
    // saying why in an error box, when it cannot.
    bool CreateFolder(const QString& name);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SelectionChanged();
    void Accept();
    void ButtonNewFolderClick();
    // Brings the folder into view, its parents opened; again as the tree
    // reads the folders above it, which moves it.
    void ShowFolder(const QModelIndex& folder);

    QFileSystemModel* Folders;
    QPersistentModelIndex Shown;
};

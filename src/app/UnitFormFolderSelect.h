#pragma once

#include <QDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

// Lets the user pick a folder from the file system's folder tree.
class TFormFolderSelect : public QDialog {
    Q_OBJECT
public:
    explicit TFormFolderSelect(QWidget* parent = nullptr);

    QTreeView* SystemTreeViewMain;
    QLineEdit* EditDirectory;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;

    // Handed in before showing; on OK, the chosen folder with a trailing separator.
    QString SelectedFolder;

    // The folder selected in the tree, empty when none is.
    QString SelectedPath() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SelectionChanged();
    void Accept();

    QFileSystemModel* Folders;
};

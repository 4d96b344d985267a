#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTreeWidget>
#include <QVBoxLayout>

class QAbstractButton;
class QAction;
class QWidget;

// Small builders shared by the wizard pages, so every page looks alike.
namespace PageKit {

// A vertical layout for a page, with the pages' common margins.
QVBoxLayout* PageLayout(QWidget* page);

// A label with the given text; `bold` for titles.
QLabel* Text(QWidget* parent, const QString& text, bool bold = false);

// A label that keeps the text's own line breaks and breaks a line further only
// where it does not fit the page, into lines of about equal length.
QLabel* Paragraph(QWidget* parent, const QString& text);

// The line that tells where a playing cast stands; hidden until it has something to say.
QLabel* PlaybackLine(QWidget* parent);

// The bold "Click Next to continue" hint at the bottom right of a page.
QLabel* ClickNextHint(QWidget* parent);

// A report-style list with the given column headers and named object.
QTreeWidget* ListView(QWidget* parent, const QString& name, const QStringList& columns);

// Makes the button show the action's caption and hint, follow its enabled
// state and trigger it when clicked.
void BindButtonToAction(QAbstractButton* button, QAction* action);

// Selects item `index`, or `fallback` when the index names no item (a stored
// value edited by hand), so that the box never ends up without a selection.
void SelectItemOrDefault(QComboBox& box, qint64 index, int fallback);

// A read-only field for a path: it shows the path's start, where a long
// path differs from its neighbours, not its end.
void PathField(QLineEdit* edit);

// Hides what is typed behind "*".
void PasswordField(QLineEdit* edit);

// Gives the keyboard focus to the page's first control that takes it.
void FocusFirstControl(QWidget* page);

} // namespace PageKit

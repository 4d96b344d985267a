#pragma once

#include <QString>

#include <functional>

class QWidget;

inline const QString ApplicationTitle = QStringLiteral("NELQ Client Software");

// The standard error box, titled with the application title.
void ShowErrorBox(QWidget* parent, const QString& message);

// A modal warning with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& message);

// Asks whether to give up an upload that has not finished.
bool AskAbortUpload(QWidget* parent);
// Before Back ends a cast that is still playing; true to end it.
bool AskStopWatching(QWidget* parent);

// Runs a handler; an error it raises is shown in the standard error box and
// the rest of that handler is abandoned.
void RunGuarded(QWidget* parent, const std::function<void()>& handler);

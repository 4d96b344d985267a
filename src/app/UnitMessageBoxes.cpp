#include "app/UnitMessageBoxes.h"

#include <QMessageBox>

#include <exception>

void ShowErrorBox(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle, message, QMessageBox::Ok, parent);
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Warning, ApplicationTitle, message,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

void RunGuarded(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowErrorBox(parent, QString::fromUtf8(error.what()));
    }
}

bool AskAbortUpload(QWidget* parent) {
    return AskYesNo(
        parent,
        QStringLiteral("A stream has not yet completed. If you havnt stopped the\n"
                       "demo recording in Tribes 2 then do this now. You will also have to\n"
                       "wait until NELQ has uploaded the last section. Once NELQ has completed\n"
                       "it will indicate this by showing \"streams complete\"\n"
                       "\n"
                       "Do you wish to abort current upload? This will result in viewers\n"
                       "being cut off before correct stream end."));
}

#include "app/UnitMessageBoxes.h"

#include <QLabel>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

#include <exception>

namespace {

// The box wraps its text at half the screen's width, which breaks a message's
// own lines again and leaves single words on lines of their own: it is made
// as wide as the message's widest line instead, as far as the screen allows.
int Ask(QMessageBox::Icon icon, const QString& message, QMessageBox::StandardButtons buttons,
        QWidget* parent) {
    QMessageBox box(icon, ApplicationTitle, message, buttons, parent);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        int widest = 0;
        for (const QString& line : message.split(QLatin1Char('\n')))
            widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
        const QScreen* screen = box.screen();
        const int room = screen ? screen->availableGeometry().width() * 3 / 4 : widest;
        label->setMinimumWidth(std::min(widest + 2, room));
    }
    return box.exec();
}

} // namespace

void ShowErrorBox(QWidget* parent, const QString& message) {
    Ask(QMessageBox::Critical, message, QMessageBox::Ok, parent);
}

bool AskYesNo(QWidget* parent, const QString& message) {
    return Ask(QMessageBox::Warning, message, QMessageBox::Yes | QMessageBox::No, parent) ==
           QMessageBox::Yes;
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

bool AskStopWatching(QWidget* parent) {
    return AskYesNo(parent, QStringLiteral("The cast is still playing. Going back stops it and "
                                           "returns to the start page.\n"
                                           "\n"
                                           "Do you wish to stop watching this cast?"));
}

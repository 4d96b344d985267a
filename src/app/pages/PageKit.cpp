#include "app/pages/PageKit.h"

#include "app/pages/BalancedLabel.h"

#include <QAbstractButton>
#include <QAction>
#include <QHeaderView>

namespace PageKit {

QVBoxLayout* PageLayout(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 8, 8, 4);
    layout->setSpacing(3);
    return layout;
}

QLabel* Text(QWidget* parent, const QString& text, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QLabel* Paragraph(QWidget* parent, const QString& text) {
    return new BalancedLabel(text, parent);
}

QLabel* PlaybackLine(QWidget* parent) {
    QLabel* label = Paragraph(parent, QString());
    label->setObjectName(QStringLiteral("LabelPlayback"));
    label->hide();
    return label;
}

QLabel* ClickNextHint(QWidget* parent) {
    QLabel* label = Text(parent, QStringLiteral("Click Next to continue"), true);
    label->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    return label;
}

QTreeWidget* ListView(QWidget* parent, const QString& name, const QStringList& columns) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setStretchLastSection(true);
    return list;
}

void BindButtonToAction(QAbstractButton* button, QAction* action) {
    button->setText(action->text());
    button->setToolTip(action->toolTip());
    button->setEnabled(action->isEnabled());
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, button, [button, action] {
        button->setEnabled(action->isEnabled());
        button->setText(action->text());
        button->setToolTip(action->toolTip());
    });
}

void SelectItemOrDefault(QComboBox& box, qint64 index, int fallback) {
    box.setCurrentIndex(index >= 0 && index < box.count() ? int(index) : fallback);
}

void PathField(QLineEdit* edit) {
    edit->setReadOnly(true);
    // Setting a text, even the same one, puts the cursor at its end.
    QObject::connect(edit, &QLineEdit::cursorPositionChanged, edit, [edit] {
        if (!edit->hasFocus())
            edit->setCursorPosition(0);
    });
}

void PasswordField(QLineEdit* edit) {
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
}

void FocusFirstControl(QWidget* page) {
    for (QWidget* w = page->nextInFocusChain(); w != page && page->isAncestorOf(w);
         w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && w->isEnabled()) {
            w->setFocus();
            return;
        }
}

} // namespace PageKit

#include "StaticTextFit.h"

#include "app/pages/BalancedLabel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QTextLayout>

#include <optional>

namespace {

// Where a widget may draw its text and where the text actually lands, both in
// the widget's own coordinates.
struct PlacedText {
    QString Text;
    QRect Box;
    QRect Drawn;
    QStringList Lines; // as drawn
};

QString PlainTextOf(const QLabel* label) {
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    if (!rich)
        return label->text();
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

// The label's text area as QLabel lays it out: inside the frame, the margin
// and, on the aligned sides, the indent.
QRect LabelTextBox(const QLabel* label) {
    const int margin = label->margin();
    QRect box = label->contentsRect().adjusted(margin, margin, -margin, -margin);
    int indent = label->indent();
    if (indent < 0)
        indent =
            label->frameWidth() > 0 ? label->fontMetrics().horizontalAdvance('x') / 2 - margin : 0;
    if (indent > 0) {
        const Qt::Alignment align = label->alignment();
        if (align & Qt::AlignLeft)
            box.setLeft(box.left() + indent);
        if (align & Qt::AlignRight)
            box.setRight(box.right() - indent);
        if (align & Qt::AlignTop)
            box.setTop(box.top() + indent);
        if (align & Qt::AlignBottom)
            box.setBottom(box.bottom() - indent);
    }
    return box;
}

// The lines QLabel's word wrap breaks a text into at `width`.
QStringList WrappedLines(const QString& text, const QFont& font, int width) {
    QStringList lines;
    for (const QString& hardLine : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(hardLine, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << hardLine.mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
    }
    return lines;
}

std::optional<PlacedText> LabelText(const QLabel* label) {
    const QString text = PlainTextOf(label);
    if (text.trimmed().isEmpty())
        return std::nullopt;
    const QRect box = LabelTextBox(label);
    if (const auto* balanced = qobject_cast<const BalancedLabel*>(label)) {
        const QString shown = balanced->DisplayedText();
        return PlacedText{text, box,
                          label->fontMetrics().boundingRect(box, int(label->alignment()), shown),
                          shown.split(QLatin1Char('\n'))};
    }
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    return PlacedText{text, box, label->fontMetrics().boundingRect(box, flags, text),
                      label->wordWrap() ? WrappedLines(text, label->font(), box.width())
                                        : text.split(QLatin1Char('\n'))};
}

std::optional<PlacedText> ButtonText(const QAbstractButton* button, QStyle::SubElement contents) {
    if (button->text().isEmpty())
        return std::nullopt;
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.rect = button->rect();
    const QRect box = button->style()->subElementRect(contents, &option, button);
    const QRect drawn = button->fontMetrics().boundingRect(
        box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, button->text());
    return PlacedText{button->text(), box, drawn, {button->text()}};
}

std::optional<PlacedText> GroupBoxTitle(const QGroupBox* group) {
    if (group->title().isEmpty())
        return std::nullopt;
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.rect = group->rect();
    option.lineWidth = 1;
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (group->isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    option.features = group->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
    const QRect drawn = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, group);
    return PlacedText{group->title(), group->rect(), drawn, {group->title()}};
}

std::optional<PlacedText> StaticText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return LabelText(label);
    if (const auto* radio = qobject_cast<const QRadioButton*>(widget))
        return ButtonText(radio, QStyle::SE_RadioButtonContents);
    if (const auto* check = qobject_cast<const QCheckBox*>(widget))
        return ButtonText(check, QStyle::SE_CheckBoxContents);
    if (const auto* group = qobject_cast<const QGroupBox*>(widget))
        return GroupBoxTitle(group);
    return std::nullopt;
}

QRect InWindow(const QWidget* widget, const QRect& rect) {
    return {widget->mapTo(widget->window(), rect.topLeft()), rect.size()};
}

QString Name(const QWidget* widget) {
    const QString name = widget->objectName();
    return name.isEmpty() ? QString::fromLatin1(widget->metaObject()->className()) : name;
}

QString Size(const QRect& rect) {
    return QStringLiteral("%1x%2").arg(rect.width()).arg(rect.height());
}

int WordCount(const QString& text) {
    return int(text.split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
}

// A line that wrapping left with a single word of a line that has more.
QStringList LoneWords(const PlacedText& text) {
    QStringList ownLines;
    for (const QString& line : text.Text.split(QLatin1Char('\n')))
        ownLines << line.trimmed();
    QStringList lone;
    for (const QString& line : text.Lines)
        if (WordCount(line) == 1 && !ownLines.contains(line.trimmed()))
            lone << line.trimmed();
    return lone;
}

void CheckText(const QWidget* widget, const PlacedText& text, QStringList& problems) {
    const QString what =
        QStringLiteral("%1 \"%2\"").arg(Name(widget), QString(text.Text).replace('\n', '|'));
    if (!text.Box.contains(text.Drawn))
        problems
            << QStringLiteral("%1 needs %2, has %3").arg(what, Size(text.Drawn), Size(text.Box));
    for (const QString& word : LoneWords(text))
        problems << QStringLiteral("%1 leaves \"%2\" alone on a line").arg(what, word);

    const QRect drawn = InWindow(widget, text.Drawn);
    for (const QWidget* parent = widget->parentWidget(); parent && !parent->isWindow();
         parent = parent->parentWidget())
        if (!InWindow(parent, parent->rect()).contains(drawn))
            problems << QStringLiteral("%1 is cut off by %2").arg(what, Name(parent));
    if (!widget->window()->rect().contains(drawn))
        problems << QStringLiteral("%1 is cut off by the window").arg(what);

    // Siblings of the widget and of each of its ancestors: a control that
    // covers the text, or that the text runs into.
    for (const QWidget* other : widget->window()->findChildren<const QWidget*>()) {
        if (other == widget || !other->isVisible() || other->isWindow() ||
            !other->parentWidget()->isAncestorOf(widget) || other->isAncestorOf(widget))
            continue;
        if (InWindow(other, other->rect()).intersects(drawn))
            problems << QStringLiteral("%1 lies over %2").arg(what, Name(other));
    }
}

} // namespace

QStringList StaticTextProblems(QWidget* root) {
    QStringList problems;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (const QWidget* widget : widgets) {
        if (!widget->isVisible())
            continue;
        if (const std::optional<PlacedText> text = StaticText(widget))
            CheckText(widget, *text, problems);
    }
    return problems;
}

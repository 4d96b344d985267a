#include "app/pages/BalancedLabel.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

#include <algorithm>

namespace {

int WidthOf(const QFontMetrics& metrics, const QString& line) {
    qsizetype end = line.size();
    while (end > 0 && line[end - 1].isSpace())
        --end;
    return metrics.horizontalAdvance(line.left(end));
}

// Breaks greedily: as many words on each line as fit in `width`.
QStringList Greedy(const QFontMetrics& metrics, const QStringList& words, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : words) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && WidthOf(metrics, longer) > width) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    lines << line;
    return lines;
}

// The narrowest greedy breaking with no more lines than the widest one has:
// its lines come out about equally long.
QStringList Balanced(const QFontMetrics& metrics, const QString& line, int width) {
    if (WidthOf(metrics, line) <= width)
        return {line};
    const QStringList words = line.split(QLatin1Char(' '));
    const qsizetype count = Greedy(metrics, words, width).size();
    int narrow = 1;
    int wide = width;
    while (narrow < wide) {
        const int middle = (narrow + wide) / 2;
        if (Greedy(metrics, words, middle).size() <= count)
            wide = middle;
        else
            narrow = middle + 1;
    }
    return Greedy(metrics, words, wide);
}

} // namespace

BalancedLabel::BalancedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    QSizePolicy policy = sizePolicy();
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString BalancedLabel::LaidOut(int width) const {
    QStringList lines;
    for (const QString& line : text().split(QLatin1Char('\n')))
        lines << Balanced(fontMetrics(), line, width);
    return lines.join(QLatin1Char('\n'));
}

QString BalancedLabel::DisplayedText() const {
    return LaidOut(contentsRect().width() - 2 * margin() - std::max(indent(), 0));
}

QSize BalancedLabel::Chrome() const {
    const QMargins frame = contentsMargins();
    const int indentation = std::max(indent(), 0);
    return {frame.left() + frame.right() + 2 * margin() + indentation,
            frame.top() + frame.bottom() + 2 * margin()};
}

int BalancedLabel::HeightOf(const QString& laidOut) const {
    if (laidOut.isEmpty())
        return Chrome().height();
    return fontMetrics().boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                                      int(alignment()), laidOut)
               .height() +
           Chrome().height();
}

int BalancedLabel::heightForWidth(int width) const {
    return HeightOf(LaidOut(width - Chrome().width()));
}

QSize BalancedLabel::sizeHint() const {
    int widest = 0;
    for (const QString& line : text().split(QLatin1Char('\n')))
        widest = std::max(widest, WidthOf(fontMetrics(), line));
    return {widest + Chrome().width(), HeightOf(text())};
}

// As narrow as its widest word: the layout asks heightForWidth how tall that makes it.
QSize BalancedLabel::minimumSizeHint() const {
    int widest = 0;
    for (const QString& word : text().split(QRegularExpression(QStringLiteral("\\s+"))))
        widest = std::max(widest, fontMetrics().horizontalAdvance(word));
    return {widest + Chrome().width(), HeightOf(text())};
}

void BalancedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const int inset = margin();
    QRect area = contentsRect().adjusted(inset, inset, -inset, -inset);
    area.setLeft(area.left() + std::max(indent(), 0));
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(),
                          LaidOut(area.width()), foregroundRole());
}

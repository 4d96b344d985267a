#include "app/SideBar.h"

#include "app/pages/BalancedLabel.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

SideBar::SideBar(QWidget* parent, int width, int height) : QWidget(parent) {
    setObjectName(QStringLiteral("ImageSideBar"));
    setFixedSize(width, height);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 6);
    layout->setSpacing(2);
    // Name and caption are labels over the picture rather than painted on it,
    // so that they wrap in a narrow bar instead of running off its edges.
    layout->addSpacing(height / 8 - layout->contentsMargins().top());
    QLabel* name = Caption(QStringLiteral("NELQ"), width / 4, true);
    name->setMinimumHeight(height / 4);
    layout->addWidget(name);
    layout->addWidget(Caption(QStringLiteral("Tribes 2 game casting"), 13, false));
    layout->addStretch();
}

QLabel* SideBar::Caption(const QString& text, int pixelSize, bool bold) {
    auto* label = new BalancedLabel(text, this);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(235, 235, 245));
    label->setPalette(palette);
    return label;
}

void SideBar::AddLink(const QString& caption, const QString& target) {
    QLabel* link = Link(this, caption, target);
    // Light text, to read against the dark foot of the picture.
    link->setText(QStringLiteral("<a style=\"color:#d8e0ff\" href=\"%1\">%2</a>")
                      .arg(target.toHtmlEscaped(), caption.toHtmlEscaped()));
    layout()->addWidget(link);
}

QLabel* SideBar::Link(QWidget* parent, const QString& caption, const QString& target) {
    auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                                 .arg(target.toHtmlEscaped(), caption.toHtmlEscaped()),
                             parent);
    label->setTextFormat(Qt::RichText);
    label->setOpenExternalLinks(true);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void SideBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0.0, QColor(12, 24, 56));
    sky.setColorAt(0.6, QColor(34, 66, 120));
    sky.setColorAt(1.0, QColor(200, 120, 40));
    painter.fillRect(rect(), sky);

    // A ridge line, as seen from a hill top at dusk.
    QPainterPath ridge;
    ridge.moveTo(0, height());
    ridge.lineTo(0, height() * 0.78);
    ridge.lineTo(width() * 0.3, height() * 0.70);
    ridge.lineTo(width() * 0.55, height() * 0.80);
    ridge.lineTo(width() * 0.8, height() * 0.66);
    ridge.lineTo(width(), height() * 0.74);
    ridge.lineTo(width(), height());
    painter.fillPath(ridge, QColor(16, 16, 24));
}

#pragma once

#include <QLabel>

// A plain-text label that keeps its text's own line breaks and breaks a line
// only where it does not fit, into lines of about equal length: QLabel's word
// wrap breaks greedily, which leaves a lone word on a line of its own.
class BalancedLabel : public QLabel {
    Q_OBJECT
public:
    explicit BalancedLabel(const QString& text, QWidget* parent = nullptr);

    // The text as drawn at the label's present width.
    QString DisplayedText() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The text laid out for a text area `width` pixels wide.
    QString LaidOut(int width) const;
    // Frame, margins and indent around the text area.
    QSize Chrome() const;
    int HeightOf(const QString& laidOut) const;
};

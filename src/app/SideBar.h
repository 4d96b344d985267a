#pragma once

#include <QLabel>
#include <QWidget>

// The picture down the left of the wizard and the dialogs.
class SideBar : public QWidget {
public:
    explicit SideBar(QWidget* parent = nullptr, int width = 200, int height = 340);

    // A link label.
    static QLabel* Link(QWidget* parent, const QString& caption, const QString& target);

    // Puts a link label at the foot of the picture.
    void AddLink(const QString& caption, const QString& target);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // A light, centred, wrapping text over the picture.
    QLabel* Caption(const QString& text, int pixelSize, bool bold);
};

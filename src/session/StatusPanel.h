#pragma once

#include <QColor>

class QLabel;

// The filming page's status panels blink between two colour pairs. The pair a
// panel shows is kept on the panel itself, so the blink can tell its phase.
namespace StatusPanel {

inline const QColor Red(255, 0, 0);
inline const QColor Navy(0, 0, 128);
inline const QColor White(255, 255, 255);

void SetColours(QLabel* panel, const QColor& background, const QColor& font);
QColor Background(const QLabel* panel);
QColor Font(const QLabel* panel);

} // namespace StatusPanel

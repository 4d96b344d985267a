#include "session/StatusPanel.h"

#include <QLabel>

namespace StatusPanel {

void SetColours(QLabel* panel, const QColor& background, const QColor& font) {
    panel->setProperty("PanelBackground", background);
    panel->setProperty("PanelFont", font);
    panel->setAutoFillBackground(true);
    panel->setStyleSheet(QStringLiteral("QLabel { background-color: %1; color: %2; }")
                             .arg(background.name(), font.name()));
}

QColor Background(const QLabel* panel) {
    return panel->property("PanelBackground").value<QColor>();
}

QColor Font(const QLabel* panel) {
    return panel->property("PanelFont").value<QColor>();
}

} // namespace StatusPanel

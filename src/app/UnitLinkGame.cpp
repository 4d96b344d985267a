#include "app/UnitLinkGame.h"

#include "app/UnitLinks.h"

#include <QComboBox>

bool SelectLinkGame(QComboBox& games, const QString& linkGame) {
    std::vector<std::string> names;
    for (int i = 0; i < games.count(); ++i)
        names.push_back(games.itemText(i).toStdString());
    const int index = LinkGameIndex(names, linkGame.toStdString());
    games.setCurrentIndex(index >= 0 ? index : (games.count() > 0 ? 0 : -1));
    return index >= 0;
}

#pragma once

#include <QString>

class QComboBox;

// Selects the game a link names (letter case ignored) among the server's
// games, else the first game; true when the linked game was there, so that
// the caller goes on as if Next had been pressed.
bool SelectLinkGame(QComboBox& games, const QString& linkGame);

#pragma once

#include <QSize>

class QWidget;

// The size of a fixed-size window: the size it was designed at, grown where
// its layout needs more room to show everything in the desktop's font.
QSize FittedWindowSize(QWidget& window, QSize designed);

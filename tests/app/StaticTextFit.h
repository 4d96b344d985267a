#pragma once

#include <QStringList>

class QWidget;

// Every visible static text under `root` (labels, check box and radio button
// captions, group box titles) measured with its own font: one line per text
// that does not fit its box, is cut off by a parent, or lies over another
// visible control, or whose wrapping leaves a single word on a line of its
// own. Empty when everything can be read.
QStringList StaticTextProblems(QWidget* root);

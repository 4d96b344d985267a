#include "app/WindowFit.h"

#include <QLayout>
#include <QStackedWidget>

#include <algorithm>

namespace {

// How much taller the stack must be for its tallest page at its least: a
// stack itself asks for the preferred height of its tallest page, which
// would grow the window even where every page fits.
int StackShortfall(const QStackedWidget& stack) {
    int shortfall = 0;
    for (int i = 0; i < stack.count(); ++i) {
        const QWidget* page = stack.widget(i);
        const int needed = page->layout()
                               ? page->layout()->totalMinimumHeightForWidth(stack.width())
                               : page->minimumSizeHint().height();
        shortfall = std::max(shortfall, needed - stack.height());
    }
    return shortfall;
}

} // namespace

QSize FittedWindowSize(QWidget& window, QSize designed) {
    QLayout* layout = window.layout();
    const QSize least = layout->totalMinimumSize();
    const int width = std::max(designed.width(), least.width());
    const QList<QStackedWidget*> stacks =
        window.findChildren<QStackedWidget*>(Qt::FindDirectChildrenOnly);
    if (stacks.isEmpty())
        return {width, std::max({designed.height(), least.height(),
                                 layout->totalMinimumHeightForWidth(width)})};

    int height = std::max(designed.height(), least.height());
    window.resize(width, height);
    layout->activate();
    int shortfall = 0;
    for (const QStackedWidget* stack : stacks)
        shortfall = std::max(shortfall, StackShortfall(*stack));
    return {width, height + shortfall};
}

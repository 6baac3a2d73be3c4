#include "ui/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace mk {

void fitIntoArea(QWidget* window, const QRect& available) {
    if (available.isEmpty())
        return;
    // The frame's real size once the window has been shown, a usual one before.
    const QSize frame = (window->frameGeometry().size() - window->size())
                            .expandedTo(QSize(kFrameAllowanceWidth, kFrameAllowanceHeight));
    const QSize room = available.size() - frame;
    const QSize size = window->size().boundedTo(room).expandedTo(window->minimumSizeHint());
    if (size != window->size())
        window->resize(size);
    const int x = std::clamp(
        window->x(), available.left(),
        std::max(available.left(), available.right() + 1 - frame.width() - size.width()));
    const int y = std::clamp(
        window->y(), available.top(),
        std::max(available.top(), available.bottom() + 1 - frame.height() - size.height()));
    if (QPoint(x, y) != window->pos())
        window->move(x, y);
}

void fitIntoScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        fitIntoArea(window, screen->availableGeometry());
}

} // namespace mk

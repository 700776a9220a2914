#include "app/compact_view.h"

#include <QMainWindow>
#include <algorithm>

namespace kr40 {

void CompactView::RememberStart(const QMainWindow& w)
{
    startSize_ = w.size();
    startPosition_ = w.pos();
    startMinimum_ = w.minimumSize();
}

void CompactView::Toggle(QMainWindow& w, int groupsWidth, int groupsHeight)
{
    on_ = !on_;
    if (!on_) {
        state_ = w.windowState();
        geometry_ = w.geometry();
        w.setWindowState(Qt::WindowNoState);
        w.setMinimumSize(startMinimum_);
        w.resize(startSize_);
        w.move(startPosition_);
        return;
    }
    w.setMinimumSize(MinWidth, MinHeight);
    if (!entered_) {
        entered_ = true;
        const int width = w.width() - groupsWidth;
        const int height = w.height() - groupsHeight;
        w.setWindowState(Qt::WindowNoState);
        w.resize(std::max(width, MinWidth), std::max(height, MinHeight));
    } else {
        w.setWindowState(state_);
        if (!(state_ & Qt::WindowMaximized)) w.setGeometry(geometry_);
    }
}

}  // namespace kr40

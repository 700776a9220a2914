#pragma once
// The compact view: the window without its control groups, only the screen.
// The first switch shrinks the window by the groups; later ones restore the
// compact geometry the user left; switching back restores the start-up size
// and position.

#include <QPoint>
#include <QRect>
#include <QSize>

class QMainWindow;

namespace kr40 {

class CompactView {
public:
    // The start-up geometry that leaving the compact view returns to.
    void RememberStart(const QMainWindow& w);
    bool On() const { return on_; }
    // Switches the view; `groupsWidth` and `groupsHeight` are what the scope
    // group and a shown generator group take from the window.
    void Toggle(QMainWindow& w, int groupsWidth, int groupsHeight);

    static constexpr int MinWidth = 430, MinHeight = 250;

private:
    bool on_ = false;
    bool entered_ = false;
    QRect geometry_;
    Qt::WindowStates state_ = Qt::WindowNoState;
    QSize startSize_, startMinimum_;
    QPoint startPosition_;
};

}  // namespace kr40

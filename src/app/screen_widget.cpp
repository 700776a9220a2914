#include "app/screen_widget.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

namespace kr40 {

ScreenWidget::ScreenWidget(const QImage& bitmap, QWidget* parent) : QWidget(parent), bitmap_(bitmap)
{
    setObjectName("Image_M");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(1, 1);
}

void ScreenWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (bitmap_.isNull()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    p.drawImage(0, 0, bitmap_);
    // Between a resize and the next redraw the bitmap may be smaller.
    if (bitmap_.width() < width()) p.fillRect(bitmap_.width(), 0, width() - bitmap_.width(), height(), Qt::black);
    if (bitmap_.height() < height())
        p.fillRect(0, bitmap_.height(), bitmap_.width(), height() - bitmap_.height(), Qt::black);
}

void ScreenWidget::mousePressEvent(QMouseEvent* e)
{
    if (onMousePress) onMousePress(e);
}

void ScreenWidget::mouseMoveEvent(QMouseEvent* e)
{
    if (onMouseMove) onMouseMove(e);
}

void ScreenWidget::mouseReleaseEvent(QMouseEvent* e)
{
    if (onMouseRelease) onMouseRelease(e);
}

void ScreenWidget::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (onDoubleClick) onDoubleClick(e);
}

void ScreenWidget::wheelEvent(QWheelEvent* e)
{
    if (onWheel) onWheel(e);
}

void ScreenWidget::resizeEvent(QResizeEvent* e)
{
    if (onResize) onResize(e->size().width(), e->size().height());
}

}  // namespace kr40

#pragma once
// Image_M: the screen. It only copies the screen bitmap when it paints and
// passes mouse, wheel and size changes to the main window.

#include <QWidget>
#include <functional>

class QImage;

namespace kr40 {

class ScreenWidget : public QWidget {
    Q_OBJECT
public:
    ScreenWidget(const QImage& bitmap, QWidget* parent);

    std::function<void(QMouseEvent*)> onMousePress, onMouseMove, onMouseRelease, onDoubleClick;
    std::function<void(QWheelEvent*)> onWheel;
    std::function<void(int width, int height)> onResize;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    const QImage& bitmap_;
};

}  // namespace kr40

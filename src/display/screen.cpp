#include "display/screen.h"

#include <algorithm>

namespace kr40 {

void RecomputeGeometry(DisplayState& d, int width, int height)
{
    d.g = ComputeGeometry(width, height);
    d.ScreenBitmap = QImage(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    d.GridBitmap = QImage(d.g.GridWidth, d.g.GridHeight, QImage::Format_Grayscale8);
    d.GridBitmap.fill(kTagEmpty);
}

void NoteServicePacket(DisplayState& d)
{
    d.spokeCounter = (d.spokeCounter + 1) % 10;
    ++d.servicesSinceFrame;
}

void NoteDataFrame(DisplayState& d)
{
    d.handCounter = (d.handCounter + 1) % 10;
    d.servicesSinceFrame = 0;
}

}  // namespace kr40

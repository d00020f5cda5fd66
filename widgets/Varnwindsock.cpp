#include "widgets/Varnwindsock.h"

namespace vx {

TVarnWindsock::TVarnWindsock(QWidget* owner) : TCompass(owner) {}

void TVarnWindsock::SetDataSample(int bearing) {
    SetBearing(bearing);
}

void TVarnWindsock::Paint(QPainter& canvas) {
    TCompass::Paint(canvas);
}

}  // namespace vx

#pragma once
// TVarnWindsock: the compass of the windsock page, fed with each new wind direction.

#include "widgets/Compass.h"

namespace vx {

class TVarnWindsock : public TCompass {
    Q_OBJECT

public:
    explicit TVarnWindsock(QWidget* owner = nullptr);

    // The wind direction in whole degrees; out of 0..359 it is ignored like SetBearing.
    void SetDataSample(int bearing);

protected:
    void Paint(QPainter& canvas) override;
};

}  // namespace vx

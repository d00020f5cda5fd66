#pragma once
// What the wind core tells the connection window about the averages. The core owns no widget:
// the window implements these, and a tool may leave them all at their no-op defaults.

#include <string_view>

namespace vx {

class WindViewSink {
public:
    virtual ~WindViewSink() = default;

    // While the averaging window fills: the "Building Average" box with its bar at `position` of
    // `maximum` (window size). Called on every stored sample until the window is full.
    virtual void ShowBuildingAverage(int /*position*/, int /*maximum*/) {}
    // On every stored sample once the window is full.
    virtual void HideBuildingAverage() {}

    // SetAveraging: the average panel's text ("Average: Off", "Average: 2 min", "Average: 10 min").
    virtual void ShowAveragePanel(std::string_view /*text*/) {}
    // SetAveraging(0): the average speed, average direction, gust, maximum and minimum gust labels
    // read `text` ("---") until averaging is on again.
    virtual void BlankAverageLabels(std::string_view /*text*/) {}
};

}  // namespace vx

#pragma once
// What the main window asks of the network dialog, which implements it.

namespace vx {

class NetworkDialogOps {
public:
    virtual ~NetworkDialogOps() = default;
    virtual void ShowNetworkDialog() = 0;  // modal
};

}  // namespace vx

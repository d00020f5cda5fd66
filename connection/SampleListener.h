#pragma once
// Something outside a connection window that takes each of its valid samples as it comes (the
// network outputs). It runs on the user-interface thread inside the message handler, so it must
// only copy what it needs and hand it on.

namespace vx {

class WindConnection;

class SampleListener {
public:
    virtual ~SampleListener() = default;
    // A valid sample has been taken and fed to the gust and the averages.
    virtual void SampleTaken(const WindConnection& wind) = 0;
};

}  // namespace vx

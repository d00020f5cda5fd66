#pragma once
// The pictures live in a static library, whose resources Qt does not register by itself.

namespace vx {

// Registers the compiled-in pictures (":/pictures/..."); safe to call any number of times.
void InitPictureResources();

}  // namespace vx

#pragma once

// Whether an open serial device is still there, asked of its descriptor. A device that went
// away (an unplugged adapter, a pseudo-terminal whose other end closed) is hung up by the
// kernel, and its descriptor says so from then on, whatever the toolkit made of it.

[[nodiscard]] bool lineHungUp(int descriptor);

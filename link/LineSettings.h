#pragma once

#include <termios.h>

#include "base/ConnectionBlock.h"

namespace comm {

// Puts the block's line settings into t (raw mode, receiver on, modem lines ignored) and
// returns 0, or EINVAL for a value the line cannot take. customSpeed tells that the bit rate
// has no termios constant and must be set through termios2 after t is applied.
int termiosFromDcb(const DeviceControlBlock& dcb, termios& t, bool& customSpeed);

} // namespace comm

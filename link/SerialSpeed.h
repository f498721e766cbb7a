#pragma once

#include <cstdint>
#include <optional>

// Bit rates that termios has no B-constant for, through the termios2 ioctls. Kept apart
// because the kernel's termios2 header clashes with the C library's <termios.h>.
namespace comm::serialspeed {

// 0 on success, else the errno value.
int setCustomSpeed(int fd, std::uint32_t baud);
// The output speed the line has now, in bits per second.
std::optional<std::uint32_t> currentSpeed(int fd);

} // namespace comm::serialspeed

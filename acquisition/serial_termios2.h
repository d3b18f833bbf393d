// Line speeds outside the termios B-constants (28800 bps, say), set and read
// through termios2. Kept apart from serial.cpp because <asm/termbits.h>
// cannot be included together with <termios.h>.
#pragma once

namespace serial_termios2 {

// Sets descriptor fd's input and output speed to bps, any other setting kept.
bool set_speed(int fd, long bps);
// The output speed of fd in bits per second, whatever way it was set; 0 when unknown.
long output_speed(int fd);

}  // namespace serial_termios2

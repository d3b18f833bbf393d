#include "gate_signal.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

std::vector<tone_t> gate_signal_tones(gate_signal_kind_t kind)
{
    switch (kind) {
    case GATE_SIGNAL_STILL: return {{512, 50}, {256, 100}};
    case GATE_SIGNAL_CLOSED: return {{256, 50}, {512, 100}};
    case GATE_SIGNAL_JUMP: return {{128, 100}};
    }
    return {};
}

void console_bell_t::sound(gate_signal_kind_t kind)
{
    const int fd = ::open(device_.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    const std::vector<tone_t> tones = gate_signal_tones(kind);
    for (std::size_t i = 0; i < tones.size(); ++i) {
        char text[64];
        const int n = std::snprintf(text, sizeof text, "%c[10;%d]%c[11;%d]\a", 27, tones[i].hz, 27, tones[i].ms);
        if (n <= 0 || ::write(fd, text, static_cast<std::size_t>(n)) != n)
            break;
        // A new bell cuts the previous one short: let each tone but the last finish.
        if (i + 1 < tones.size())
            std::this_thread::sleep_for(std::chrono::milliseconds(tones[i].ms));
    }
    ::close(fd);
}

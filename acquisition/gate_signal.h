// The three signals of gated recording, so the operator can keep the eyes on
// the patient: stillness reached (a sweep may start), gate closed (the sweep
// ended) and jump (the sweep was thrown away). A sink is injected into
// live_pos; the default rings the text console's bell.
#pragma once

#include <functional>
#include <string>
#include <vector>

enum gate_signal_kind_t : int {
    GATE_SIGNAL_STILL = 0,   // held still long enough: the next movement opens the gate
    GATE_SIGNAL_CLOSED = 1,  // held still again: the gate closed
    GATE_SIGNAL_JUMP = 2,    // moved too fast: the gate closed and the sweep was cleared
};

struct tone_t {
    int hz;
    int ms;
};

// The tones of each signal, in the order they sound.
std::vector<tone_t> gate_signal_tones(gate_signal_kind_t kind);

class gate_signal_t {
public:
    virtual ~gate_signal_t() = default;
    virtual void sound(gate_signal_kind_t kind) = 0;
};

// Writes the console's bell escape sequences to a console device when it
// opens, and does nothing otherwise (ordinary users usually may not open it).
class console_bell_t final : public gate_signal_t {
public:
    explicit console_bell_t(std::string device = "/dev/console") : device_(std::move(device)) {}
    void sound(gate_signal_kind_t kind) override;

private:
    std::string device_;
};

// Keeps the signals in order, for tests and for a page that shows them.
class signal_log_t final : public gate_signal_t {
public:
    void sound(gate_signal_kind_t kind) override { heard.push_back(kind); }
    std::vector<gate_signal_kind_t> heard;
};

// Rings the console bell and also tells whoever shows the signals (the
// record page) which one sounded: a console bell is often silent or absent.
class shown_gate_signal_t final : public gate_signal_t {
public:
    void sound(gate_signal_kind_t kind) override
    {
        bell_.sound(kind);
        if (show_)
            show_(kind);
    }
    void set_display(std::function<void(gate_signal_kind_t)> show) { show_ = std::move(show); }

private:
    console_bell_t bell_;
    std::function<void(gate_signal_kind_t)> show_;
};

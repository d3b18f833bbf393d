// A three-axis gantry of Zaber slides, devices 1, 2 and 3 for x, y and z,
// daisy-chained on one serial port, with the command sequence it runs.
// Positions go out through RES_ZABER_POS_X/Y/Z; RES_ZABER_RUNNING says the
// gantry is started.
#pragma once

#include <array>
#include <memory>

#include "acquisition/serial.h"
#include "devices/cmd_sequence.h"
#include "devices/zaber_linear_slide.h"

class zaberGantry {
public:
    explicit zaberGantry(const zaber_timing_t& timing = {});
    ~zaberGantry();
    zaberGantry(const zaberGantry&) = delete;
    zaberGantry& operator=(const zaberGantry&) = delete;

    // Opens RES_ZABER_PORT, initialises the slides and homes them.
    bool initialise();
    // Stops the axes and closes the port.
    void shut_down();
    bool running() const { return running_; }

    void homeAll();
    void stopAll();
    void moveAllToPosition(double x, double y, double z);
    void stepAll(double dx, double dy, double dz);
    void homeAxis(int i);
    void moveAxisToPosition(int i, double cm);
    void stepAxis(int i, double cm);
    void stopAxis(int i);

    // Reads a .zsq file; a failed load keeps the sequence held before.
    bool loadSeq(const wxString& file, std::vector<zsq_error_t>* errors = nullptr);
    void resetSeq();
    // Runs commands up to the next pause (true) or the end (false).
    bool runNextSeqStep();

    const cmdSequence& sequence() const { return sequence_; }
    const std::array<double, 3>& positions() const { return positions_; }
    const zaberLinearSlide& slide(int i) const { return *slides_[static_cast<std::size_t>(i)]; }

private:
    bool valid_axis(int i, const char* operation) const;
    void publish_positions();
    void execute(const cmdItem& c);

    serial_t port_;
    std::array<std::unique_ptr<zaberLinearSlide>, 3> slides_;
    std::array<double, 3> positions_{};
    bool running_ = false;
    cmdSequence sequence_;
};

extern zaberGantry* zgantry;  // the program's gantry, while one exists

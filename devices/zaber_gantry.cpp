#include "devices/zaber_gantry.h"

#include <exception>

#include <wx/log.h>

#include "resources/resource_table.h"

zaberGantry* zgantry = nullptr;

zaberGantry::zaberGantry(const zaber_timing_t& timing)
{
    for (std::size_t i = 0; i < slides_.size(); ++i)
        slides_[i] = std::make_unique<zaberLinearSlide>(static_cast<std::int16_t>(i + 1), port_, timing);
}

zaberGantry::~zaberGantry()
{
    if (running_ && res)
        res->RES_ZABER_RUNNING->write(false);
}

bool zaberGantry::initialise()
{
    if (running_)
        shut_down();
    if (!port_.open_port(res->RES_ZABER_PORT->value())) {
        wxLogWarning("Invalid port selected for zaber gantry control");
        res->RES_ZABER_RUNNING->write(false);
        return false;
    }
    bool ok = port_.set_params(9600, 8, 0, 0, 0);
    for (const auto& slide : slides_)
        ok = ok && slide->initialise();
    if (!ok) {
        wxLogWarning("failed to initialise zaber gantry");
        port_.close_port();
        res->RES_ZABER_RUNNING->write(false);
        return false;
    }
    running_ = true;
    res->RES_ZABER_RUNNING->write(true);
    homeAll();
    return true;
}

void zaberGantry::shut_down()
{
    if (running_)
        stopAll();
    port_.close_port();
    running_ = false;
    res->RES_ZABER_RUNNING->write(false);
}

void zaberGantry::publish_positions()
{
    for (std::size_t i = 0; i < slides_.size(); ++i)
        positions_[i] = slides_[i]->position_cm();
    // write() notifies only when the value changed.
    res->RES_ZABER_POS_X->write(positions_[0]);
    res->RES_ZABER_POS_Y->write(positions_[1]);
    res->RES_ZABER_POS_Z->write(positions_[2]);
}

bool zaberGantry::valid_axis(int i, const char* operation) const
{
    if (i >= 0 && i < 3)
        return true;
    wxLogWarning("Invalid axis index in zaberGantry::%s", operation);
    return false;
}

void zaberGantry::homeAll()
{
    if (!running_)
        return;
    for (const auto& slide : slides_)
        slide->home();
    publish_positions();
}

void zaberGantry::stopAll()
{
    if (!running_)
        return;
    for (const auto& slide : slides_)
        slide->stop();
    publish_positions();
}

void zaberGantry::moveAllToPosition(double x, double y, double z)
{
    if (!running_)
        return;
    slides_[0]->moveToPosition(x);
    slides_[1]->moveToPosition(y);
    slides_[2]->moveToPosition(z);
    publish_positions();
}

void zaberGantry::stepAll(double dx, double dy, double dz)
{
    if (!running_)
        return;
    slides_[0]->step(dx);
    slides_[1]->step(dy);
    slides_[2]->step(dz);
    publish_positions();
}

void zaberGantry::homeAxis(int i)
{
    if (!valid_axis(i, "homeAxis") || !running_)
        return;
    slides_[static_cast<std::size_t>(i)]->home();
    publish_positions();
}

void zaberGantry::moveAxisToPosition(int i, double cm)
{
    if (!valid_axis(i, "moveAxisToPosition") || !running_)
        return;
    slides_[static_cast<std::size_t>(i)]->moveToPosition(cm);
    publish_positions();
}

void zaberGantry::stepAxis(int i, double cm)
{
    if (!valid_axis(i, "stepAxis") || !running_)
        return;
    slides_[static_cast<std::size_t>(i)]->step(cm);
    publish_positions();
}

void zaberGantry::stopAxis(int i)
{
    if (!valid_axis(i, "stopAxis") || !running_)
        return;
    slides_[static_cast<std::size_t>(i)]->stop();
    publish_positions();
}

bool zaberGantry::loadSeq(const wxString& file, std::vector<zsq_error_t>* errors)
{
    if (!sequence_.loadFile(file, errors)) {
        wxLogError("Error reading sequence file");
        return false;
    }
    res->RES_ZABER_SEQ_STEPS->write(sequence_.steps());
    res->RES_ZABER_CURRENT_STEP->write(0);
    return true;
}

void zaberGantry::resetSeq()
{
    sequence_.reset();
    res->RES_ZABER_CURRENT_STEP->write(0);
}

void zaberGantry::execute(const cmdItem& c)
{
    const auto& v = c.values;
    switch (c.kind) {
        case cmd_kind_t::home:
            wxLogDebug("homeAll");
            homeAll();
            break;
        case cmd_kind_t::home_x:
        case cmd_kind_t::home_y:
        case cmd_kind_t::home_z: {
            const int axis = static_cast<int>(c.kind) - static_cast<int>(cmd_kind_t::home_x);
            wxLogDebug("homeAxis(%d)", axis);
            homeAxis(axis);
            break;
        }
        case cmd_kind_t::stop:
            wxLogDebug("stopAll");
            stopAll();
            break;
        case cmd_kind_t::move:
            wxLogDebug("moveAllToPosition(%f, %f, %f)", v[0], v[1], v[2]);
            moveAllToPosition(v[0], v[1], v[2]);
            break;
        case cmd_kind_t::move_x:
        case cmd_kind_t::move_y:
        case cmd_kind_t::move_z: {
            const int axis = static_cast<int>(c.kind) - static_cast<int>(cmd_kind_t::move_x);
            wxLogDebug("moveAxisToPosition(%d, %f)", axis, v[0]);
            moveAxisToPosition(axis, v[0]);
            break;
        }
        case cmd_kind_t::step:
            wxLogDebug("stepAll(%f, %f, %f)", v[0], v[1], v[2]);
            stepAll(v[0], v[1], v[2]);
            break;
        case cmd_kind_t::step_x:
        case cmd_kind_t::step_y:
        case cmd_kind_t::step_z: {
            const int axis = static_cast<int>(c.kind) - static_cast<int>(cmd_kind_t::step_x);
            wxLogDebug("stepAxis(%d, %f)", axis, v[0]);
            stepAxis(axis, v[0]);
            break;
        }
        default:
            wxLogWarning("Unknown command");
            break;
    }
}

bool zaberGantry::runNextSeqStep()
{
    // Without a running gantry nothing moves, and a long loop would only spin.
    if (!running_)
        return false;
    try {
        for (;;) {
            const cmdItem c = sequence_.getNextCmd();
            if (c.kind == cmd_kind_t::end_of_sequence)
                return false;
            if (c.kind == cmd_kind_t::end_of_step) {
                res->RES_ZABER_CURRENT_STEP->write(res->RES_ZABER_CURRENT_STEP->value() + 1);
                return true;
            }
            execute(c);
            if (!running_)
                return false;
        }
    } catch (const std::exception&) {
        wxLogError("Error while processing command sequence");
        return false;
    }
}

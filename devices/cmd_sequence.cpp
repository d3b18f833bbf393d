#include "devices/cmd_sequence.h"

#include <wx/ffile.h>
#include <wx/log.h>

bool cmdSequence::load(std::string_view text, std::vector<zsq_error_t>* errors)
{
    std::vector<zsq_error_t> found;
    cmd_program_t program;
    if (!parse_zsq(text, &program, &found)) {
        for (const zsq_error_t& e : found)
            wxLogDebug("Line %ld: %s", e.line, e.reason.c_str());
        wxLogError("Error on line %d", found.empty() ? 0 : static_cast<int>(found.back().line));
        if (errors)
            *errors = std::move(found);
        return false;
    }
    program_ = std::move(program);
    reset();
    if (errors)
        errors->clear();
    return true;
}

bool cmdSequence::loadFile(const wxString& path, std::vector<zsq_error_t>* errors)
{
    wxFFile file;
    {
        wxLogNull quiet;  // the caller reports the failure in its own words
        if (!file.Open(path, "rb"))
            return false;
    }
    std::string text;
    char buf[65536];
    for (;;) {
        const std::size_t n = file.Read(buf, sizeof buf);
        text.append(buf, n);
        if (n < sizeof buf)
            break;
    }
    if (file.Error())
        return false;
    return load(text, errors);
}

void cmdSequence::reset()
{
    list_ = 0;
    position_ = loaded() ? program_.lists[0].first : 0;
    returns_.clear();
    loops_.clear();
}

cmdItem cmdSequence::marker(cmd_kind_t kind)
{
    cmdItem m;
    m.kind = kind;
    m.command = kind == cmd_kind_t::end_of_step       ? end_of_step_marker
                : kind == cmd_kind_t::end_of_sequence ? end_of_sequence_marker
                                                      : error_marker;
    return m;
}

cmdItem cmdSequence::getNextCmd()
{
    if (!loaded())
        return marker(cmd_kind_t::end_of_sequence);
    for (;;) {
        if (position_ >= program_.lists[list_].end) {
            if (returns_.empty())
                return marker(cmd_kind_t::end_of_sequence);
            list_ = returns_.back().list;
            position_ = returns_.back().position;
            returns_.pop_back();
            continue;
        }
        const cmdItem& item = program_.items[position_++];
        switch (item.kind) {
            case cmd_kind_t::pause:
                return marker(cmd_kind_t::end_of_step);
            case cmd_kind_t::repeat:
                if (!item.body_acts)
                    position_ = static_cast<std::size_t>(item.target) + 1;
                else
                    loops_.push_back({position_, list_, static_cast<std::uint32_t>(item.values[0])});
                break;
            case cmd_kind_t::repeat_end:
                if (loops_.empty() || loops_.back().list != list_)
                    return marker(cmd_kind_t::error);  // the loader never lets this through
                if (loops_.back().remaining < 2) {
                    loops_.pop_back();
                } else {
                    --loops_.back().remaining;
                    position_ = loops_.back().start;
                }
                break;
            case cmd_kind_t::call:
                if (item.target >= program_.lists.size())
                    return marker(cmd_kind_t::error);
                returns_.push_back({list_, position_});
                list_ = item.target;
                position_ = program_.lists[list_].first;
                break;
            case cmd_kind_t::end_of_step:
            case cmd_kind_t::end_of_sequence:
            case cmd_kind_t::error:
                return marker(cmd_kind_t::error);
            default:
                return item;  // a movement
        }
    }
}

// Command sequences for the gantry, as read from .zsq files: a main list and
// named multi-commands, walked one command at a time with repeat loops and
// multi-command calls.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include <wx/string.h>

enum class cmd_kind_t : unsigned char {
    home,
    home_x,
    home_y,
    home_z,
    stop,
    move,
    move_x,
    move_y,
    move_z,
    step,
    step_x,
    step_y,
    step_z,
    pause,
    repeat,
    repeat_end,
    call,
    // Markers getNextCmd returns instead of a command.
    end_of_step,
    end_of_sequence,
    error,
};

// A command word and up to three values. The word views the program's own
// text (a fixed word, or a multi-command's name), so an item is cheap to copy.
struct cmdItem {
    std::string_view command;
    std::array<double, 3> values{};
    cmd_kind_t kind = cmd_kind_t::error;
    // call: the multi-command's list; repeat: the index of its repeat_end in the program's items.
    std::uint32_t target = 0;
    // repeat: whether its body moves or pauses at all. A body that does
    // neither is skipped whole, or a count of billions would spin for hours.
    bool body_acts = true;
};

struct zsq_error_t {
    long line = 0;
    std::string reason;
};

// A parsed file: lists[0] is the main list, the others multi-commands in the
// order they were defined (a call can only go to an earlier list). A deque,
// so that the names items view never move; for the same reason it is not copied.
struct cmd_program_t {
    cmd_program_t() = default;
    cmd_program_t(const cmd_program_t&) = delete;
    cmd_program_t& operator=(const cmd_program_t&) = delete;
    cmd_program_t(cmd_program_t&&) = default;
    cmd_program_t& operator=(cmd_program_t&&) = default;

    struct list_t {
        std::string name;
        std::size_t first = 0, end = 0;  // its items: items[first] to items[end - 1]
        long pauses = 0;                 // pauses one run of the list passes, saturating
        bool acts = false;               // moves or pauses at all
    };
    std::vector<cmdItem> items;  // every list's, one block after another as in the file
    std::deque<list_t> lists;
};

// Parses .zsq text. On failure errors holds every error found (the first
// thousand) and out is left as it was.
bool parse_zsq(std::string_view text, cmd_program_t* out, std::vector<zsq_error_t>* errors);

class cmdSequence {
public:
    static constexpr const char* end_of_step_marker = "END_OF_STEP";
    static constexpr const char* end_of_sequence_marker = "END_OF_SEQUENCE";
    static constexpr const char* error_marker = "Error";

    // On failure logs "Error on line %d" and keeps the sequence it held.
    bool load(std::string_view text, std::vector<zsq_error_t>* errors = nullptr);
    bool loadFile(const wxString& path, std::vector<zsq_error_t>* errors = nullptr);

    bool loaded() const { return !program_.lists.empty(); }
    // Steps of a full run (the pauses it passes), counted without running it.
    long steps() const { return loaded() ? program_.lists[0].pauses : 0; }

    // The next movement command, or a marker: END_OF_STEP at a pause,
    // END_OF_SEQUENCE at the end of the main list.
    cmdItem getNextCmd();
    void reset();

private:
    struct loop_t {
        std::size_t start;  // the index after the repeat line
        std::size_t list;
        std::uint32_t remaining;
    };
    struct return_t {
        std::size_t list;
        std::size_t position;  // an index into the program's items
    };
    static cmdItem marker(cmd_kind_t kind);

    cmd_program_t program_;
    std::size_t list_ = 0;
    std::size_t position_ = 0;
    std::vector<return_t> returns_;
    std::vector<loop_t> loops_;
};

// The command/answer dialogue with the Polaris: every command is one line
// ending CR, every answer one record ending CR with its CRC before it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <wx/string.h>

#include "acquisition/polaris_protocol.h"
#include "acquisition/serial.h"
#include "common/interaction.h"

namespace polaris_dialogue {

inline constexpr std::size_t polaris_record = 99999;  // CR ends every record long before this

struct reply_text_t {
    bool got = false;  // a record came at all
    polaris_reply_check_t check = polaris_reply_check_t::unterminated;
    std::string text;  // without CRC and CR when the record was terminated

    bool is(std::string_view s) const { return check == polaris_reply_check_t::ok && text == s; }
    bool clean() const { return check == polaris_reply_check_t::ok; }
};

reply_text_t read_answer(serial_t& line, std::uint64_t timeout);
reply_text_t transact(serial_t& line, std::string_view command, std::uint64_t timeout);
// Logs an answer that was not the one expected, naming the command.
void report_error(const reply_text_t& a, std::string_view command);
bool expect_okay(serial_t& line, std::string_view command, std::uint64_t timeout);
char port_letter(int port);

class progress_scope {
public:
    progress_scope(interaction_t& ui, const wxString& message) : ui_(ui), message_(message)
    {
        ui_.progress_begin("Polaris", message_, 0);
    }
    ~progress_scope() { ui_.progress_end(); }
    progress_scope(const progress_scope&) = delete;
    progress_scope& operator=(const progress_scope&) = delete;
    // False when the user cancelled.
    bool pulse() { return ui_.progress_pulse(message_); }
    // Shows another message from now on.
    bool pulse(const wxString& message)
    {
        message_ = message;
        return pulse();
    }

private:
    interaction_t& ui_;
    wxString message_;
};

}  // namespace polaris_dialogue

#include "acquisition/polaris_dialogue.h"

#include <algorithm>

#include <wx/log.h>

namespace polaris_dialogue {

namespace {

std::string_view command_name(std::string_view command)
{
    return command.substr(0, std::min(command.find(' '), command.find('\r')));
}

}  // namespace

reply_text_t read_answer(serial_t& line, std::uint64_t timeout)
{
    reply_text_t a;
    if (line.pread(true, timeout) == 0)
        return a;
    a.got = true;
    const auto rec = line.record();
    std::string_view body;
    a.check = polaris_check_reply(rec, &body);
    if (a.check == polaris_reply_check_t::unterminated)
        a.text.assign(rec.begin(), rec.end());
    else
        a.text = body;
    return a;
}

reply_text_t transact(serial_t& line, std::string_view command, std::uint64_t timeout)
{
    if (!line.pwrite(command.data(), command.size()))
        return {};
    return read_answer(line, timeout);
}

void report_error(const reply_text_t& a, std::string_view command)
{
    wxLogError("%s", polaris_error_message(a.text, command_name(command)));
}

bool expect_okay(serial_t& line, std::string_view command, std::uint64_t timeout)
{
    const reply_text_t a = transact(line, command, timeout);
    if (a.is("OKAY"))
        return true;
    report_error(a, command);
    return false;
}

char port_letter(int port)
{
    return port >= 0 && port < polaris_port_count ? polaris_port[port] : '?';
}

}  // namespace polaris_dialogue

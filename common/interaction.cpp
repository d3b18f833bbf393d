#include "interaction.h"

#include <wx/log.h>

namespace {
headless_interaction_t headless;
interaction_t* current = &headless;
}  // namespace

interaction_t& interaction()
{
    return *current;
}

interaction_t* set_interaction(interaction_t* i)
{
    interaction_t* previous = current;
    current = i ? i : &headless;
    return previous;
}

void headless_interaction_t::progress_begin(const wxString& caption, const wxString& message, int)
{
    wxLogVerbose("%s: %s", caption, message);
}

bool headless_interaction_t::progress_update(int, const wxString&)
{
    return true;
}

bool headless_interaction_t::progress_pulse(const wxString&)
{
    return true;
}

void headless_interaction_t::progress_end() {}

answer_t headless_interaction_t::ask(const wxString& caption, const wxString& message, question_t,
                                     answer_t headless_default)
{
    wxLogMessage("%s: %s", caption, message);
    return headless_default;
}

void headless_interaction_t::inform(const wxString& caption, const wxString& message)
{
    wxLogMessage("%s: %s", caption, message);
}

std::optional<wxString> headless_interaction_t::ask_text(const wxString& caption, const wxString& message,
                                                         const wxString&, text_kind_t)
{
    wxLogMessage("%s: %s (no answer without a user)", caption, message);
    return std::nullopt;
}

std::optional<file_choice_t> headless_interaction_t::ask_file(const wxString& caption, const wxString&,
                                                              const wxString&, bool)
{
    wxLogMessage("%s: no file chosen without a user", caption);
    return std::nullopt;
}

std::optional<wxString> headless_interaction_t::ask_directory(const wxString& caption, const wxString&)
{
    wxLogMessage("%s: no folder chosen without a user", caption);
    return std::nullopt;
}

std::optional<int> headless_interaction_t::ask_choice(const wxString& caption, const wxString&,
                                                      const std::vector<wxString>&)
{
    wxLogMessage("%s: nothing chosen without a user", caption);
    return std::nullopt;
}

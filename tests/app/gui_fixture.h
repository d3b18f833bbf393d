// Starts Kestrane on a small demo recording in a temporary settings folder,
// answers its questions from a script, and pumps events as the main loop would.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include <gtest/gtest.h>
#include <wx/image.h>

#include "app/main_frame.h"
#include "common/interaction.h"
#include "support/log_capture.h"

// Answers questions in the order the test queued them; an unexpected question fails the test.
class scripted_interaction_t : public interaction_t {
public:
    std::deque<answer_t> answers;
    std::deque<std::optional<wxString>> texts;
    std::deque<std::optional<file_choice_t>> files;
    std::deque<wxString> directories;
    std::vector<wxString> asked;  // captions and messages, in order

    std::vector<wxString> progress_captions;
    int progress_updates = 0;
    int cancel_at_update = -1;  // the update (counted from 1) where the user presses Cancel; -1 never

    void progress_begin(const wxString& caption, const wxString&, int) override { progress_captions.push_back(caption); }
    bool progress_update(int, const wxString&) override { return ++progress_updates != cancel_at_update; }
    bool progress_pulse(const wxString&) override { return true; }
    void progress_end() override {}
    answer_t ask(const wxString& caption, const wxString& message, question_t, answer_t) override;
    void inform(const wxString& caption, const wxString& message) override;
    std::optional<wxString> ask_text(const wxString& caption, const wxString& message, const wxString&,
                                     text_kind_t) override;
    std::optional<file_choice_t> ask_file(const wxString& caption, const wxString&, const wxString&, bool) override;
    std::optional<wxString> ask_directory(const wxString& caption, const wxString&) override;
    std::deque<std::optional<int>> choices;
    std::optional<int> ask_choice(const wxString& caption, const wxString& message,
                                  const std::vector<wxString>& items) override;
};

class GuiTest : public ::testing::Test {
protected:
    wxString dir;
    wxString demo;
    wxString program = wxString(BUILD_APP_DIR) + "/kestrane";  // where the program seems to run from
    std::unique_ptr<log_capture> log;
    scripted_interaction_t script;

    void SetUp() override;
    void TearDown() override;
    // Starts the program as from a shell, with these arguments after the settings folder.
    void start(const std::vector<wxString>& extra);
    // Runs the event loop for about `ms` milliseconds, idle events included.
    void pump(int ms);
    // Runs the event loop until done() holds or limit_ms pass; returns done().
    bool pump_until(const std::function<bool()>& done, int limit_ms = 20000);
    void menu(int id);
    // Chooses a visual page from its menu and lets its windows draw.
    void visual(int id)
    {
        menu(id);
        pump(200);
    }
    void tool(int id, bool down);
    MainFrame& frame() { return *main_win; }
};

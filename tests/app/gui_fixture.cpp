#include "gui_fixture.h"

#include <chrono>

#include <wx/app.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/toolbar.h>

#include "app/main_window.h"
#include "demo/demo_recording.h"
#include "resources/core_session.h"

namespace {

// The next answer the test queued, or a failure when it queued none.
template <class T>
T next(std::deque<T>& queue, const wxString& what, T none)
{
    if (queue.empty()) {
        ADD_FAILURE() << "unexpected " << what;
        return none;
    }
    T front = queue.front();
    queue.pop_front();
    return front;
}

}  // namespace

answer_t scripted_interaction_t::ask(const wxString& caption, const wxString& message, question_t, answer_t)
{
    asked.push_back(caption + ": " + message);
    return next(answers, "question: " + asked.back(), answer_t::cancel);
}

void scripted_interaction_t::inform(const wxString& caption, const wxString& message)
{
    asked.push_back(caption + ": " + message);
}

std::optional<wxString> scripted_interaction_t::ask_text(const wxString& caption, const wxString& message,
                                                         const wxString&, text_kind_t)
{
    asked.push_back(caption + ": " + message);
    return next(texts, "text entry: " + asked.back(), std::optional<wxString>());
}

std::optional<file_choice_t> scripted_interaction_t::ask_file(const wxString& caption, const wxString&,
                                                              const wxString&, bool)
{
    asked.push_back(caption);
    return next(files, "file dialog: " + caption, std::optional<file_choice_t>());
}

std::optional<wxString> scripted_interaction_t::ask_directory(const wxString& caption, const wxString&)
{
    asked.push_back(caption);
    if (directories.empty())
        return std::nullopt;
    const wxString d = directories.front();
    directories.pop_front();
    return d;
}

std::optional<int> scripted_interaction_t::ask_choice(const wxString& caption, const wxString& message,
                                                     const std::vector<wxString>&)
{
    asked.push_back(caption + ": " + message);
    return next(choices, "choice: " + caption, std::optional<int>());
}

void GuiTest::SetUp()
{
    dir = wxFileName::CreateTempFileName("ks_gui");
    wxRemoveFile(dir);
    ASSERT_TRUE(wxFileName::Mkdir(dir));
    log = std::make_unique<log_capture>();  // before start: errors must not become message boxes
    {
        // The demo is made by a session of its own that leaves no settings behind.
        core_session_t maker(dir, "", false);
        maker.finish_start_up();
        ASSERT_TRUE(write_demo_recording(dir, 40, 160, 120));
    }
    demo = dir + "/" + demo_recording_name;
}

void GuiTest::start(const std::vector<wxString>& extra)
{
    std::vector<wxString> args{program, "dir=" + dir};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(static_cast<MainWindow&>(*wxTheApp).start(args));
    set_interaction(&script);
    ASSERT_NE(main_win, nullptr);
    pump(300);
}

void GuiTest::TearDown()
{
    if (main_win) {
        script.answers.push_back(answer_t::ok);  // close without asking the test
        main_win->Close(true);
    }
    pump(100);
    static_cast<MainWindow&>(*wxTheApp).shut_down();
    log.reset();
    wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
}

void GuiTest::pump(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        wxTheApp->Yield(true);
        wxTheApp->ProcessIdle();
    } while (std::chrono::steady_clock::now() < end);
}

bool GuiTest::pump_until(const std::function<bool()>& done, int limit_ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return done();
        wxTheApp->Yield(true);
        wxTheApp->ProcessIdle();
    }
    return true;
}

void GuiTest::menu(int id)
{
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(main_win);
    main_win->ProcessWindowEvent(event);
}

void GuiTest::tool(int id, bool down)
{
    wxToolBar* bar = main_win->GetToolBar();
    bar->ToggleTool(id, down);
    wxCommandEvent event(wxEVT_TOOL, id);
    event.SetEventObject(bar);
    event.SetInt(down ? 1 : 0);
    bar->ProcessWindowEvent(event);
}

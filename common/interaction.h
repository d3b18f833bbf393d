// How core code shows progress, asks a question or warns the user without
// knowing about windows. The GUI installs an implementation with dialogs;
// headless runs and tests use the default, which answers without asking.
#pragma once

#include <optional>
#include <vector>

#include <wx/string.h>

enum class answer_t { ok, cancel, yes, no };
enum class question_t { ok_cancel, yes_no };
enum class text_kind_t { line, lines, secret };

// A file the user picked, and which of the offered filters was selected.
struct file_choice_t {
    wxString path;
    int filter = 0;
};

class interaction_t {
public:
    virtual ~interaction_t() = default;

    // A long operation. update/pulse return false when the user cancelled.
    virtual void progress_begin(const wxString& caption, const wxString& message, int maximum) = 0;
    virtual bool progress_update(int value, const wxString& message) = 0;
    virtual bool progress_pulse(const wxString& message) = 0;
    virtual void progress_end() = 0;

    virtual answer_t ask(const wxString& caption, const wxString& message, question_t kind,
                         answer_t headless_default) = 0;
    virtual void inform(const wxString& caption, const wxString& message) = 0;

    // Entries the user types or picks; nothing when cancelled.
    virtual std::optional<wxString> ask_text(const wxString& caption, const wxString& message,
                                             const wxString& initial, text_kind_t kind) = 0;
    virtual std::optional<file_choice_t> ask_file(const wxString& caption, const wxString& wildcard,
                                                  const wxString& directory, bool save) = 0;
    virtual std::optional<wxString> ask_directory(const wxString& caption, const wxString& directory) = 0;
    // One of a list; its index.
    virtual std::optional<int> ask_choice(const wxString& caption, const wxString& message,
                                          const std::vector<wxString>& choices) = 0;
};

// Logs messages and questions and returns each question's headless default.
class headless_interaction_t : public interaction_t {
public:
    void progress_begin(const wxString& caption, const wxString& message, int maximum) override;
    bool progress_update(int value, const wxString& message) override;
    bool progress_pulse(const wxString& message) override;
    void progress_end() override;
    answer_t ask(const wxString& caption, const wxString& message, question_t kind,
                 answer_t headless_default) override;
    void inform(const wxString& caption, const wxString& message) override;
    std::optional<wxString> ask_text(const wxString& caption, const wxString& message, const wxString& initial,
                                     text_kind_t kind) override;
    std::optional<file_choice_t> ask_file(const wxString& caption, const wxString& wildcard,
                                          const wxString& directory, bool save) override;
    std::optional<wxString> ask_directory(const wxString& caption, const wxString& directory) override;
    std::optional<int> ask_choice(const wxString& caption, const wxString& message,
                                  const std::vector<wxString>& choices) override;
};

// The interaction in force; never null (the headless one until another is set).
interaction_t& interaction();
// Installs i (not owned; null restores the headless one) and returns the previous one.
interaction_t* set_interaction(interaction_t* i);

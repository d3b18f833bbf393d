// Questions, messages and progress shown with dialogs, for core code that
// asks through interaction().
#pragma once

#include <memory>

#include <wx/progdlg.h>

#include "common/interaction.h"

class gui_interaction_t : public interaction_t {
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

private:
    std::unique_ptr<wxProgressDialog> progress_;
};

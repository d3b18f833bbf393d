// The help book: kestrane_help.zip beside the program, shown by the HTML help
// controller. Its window renders the pages as HTML (not as their source) and
// closes from the keyboard like the other windows.
#pragma once

#include <wx/html/helpctrl.h>

class help_book_t : public wxHtmlHelpController {
public:
    explicit help_book_t(wxWindow* parent);
    // Adds kestrane_help.zip from `exec_dir`; false when it is missing or unreadable.
    bool load(const wxString& exec_dir);

protected:
    wxHtmlHelpFrame* CreateHelpFrame(wxHtmlHelpData* data) override;
};

// The zip file system and the page types of the help book, registered once
// per process; needed before a book is added.
void register_help_file_system();

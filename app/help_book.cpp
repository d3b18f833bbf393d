#include "help_book.h"

#include <wx/bookctrl.h>
#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/sysopt.h>
#include <wx/treectrl.h>

void register_help_file_system()
{
    static const bool registered = [] {
        wxFileSystem::AddHandler(new wxZipFSHandler);  // the file system owns its handlers
        // Page types come from the file system's own table, not the machine's
        // MIME database: some databases call .htm "application/xhtml+xml", and
        // the help window then shows the page's source as plain text.
        wxSystemOptions::SetOption("filesys.no-mimetypesmanager", 1);
        return true;
    }();
    (void)registered;
}

help_book_t::help_book_t(wxWindow* parent) : wxHtmlHelpController(wxHF_DEFAULT_STYLE, parent)
{
    register_help_file_system();
    SetTitleFormat("Kestrane help: %s");
}

bool help_book_t::load(const wxString& exec_dir)
{
    // Beside the program in a build folder; under share/kestrane when installed.
    for (const wxString& folder : {exec_dir, exec_dir + "/../share/kestrane"}) {
        wxFileName book(folder, "kestrane_help.zip");
        book.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
        if (book.FileExists())
            return AddBook(book);
    }
    return false;
}

wxHtmlHelpFrame* help_book_t::CreateHelpFrame(wxHtmlHelpData* data)
{
    wxHtmlHelpFrame* frame = wxHtmlHelpController::CreateHelpFrame(data);
    frame->Bind(wxEVT_CHAR_HOOK, [frame](wxKeyEvent& event) {
        const bool close = event.GetKeyCode() == WXK_ESCAPE ||
                           (event.GetModifiers() == wxMOD_CONTROL && event.GetKeyCode() == 'W');
        if (close)
            frame->Close();
        else
            event.Skip();
    });
    // Lay the pages out before the frame shows: GTK allocates every notebook
    // page, and list boxes left at their first tiny size raise critical warnings.
    frame->SendSizeEvent();
    if (wxTreeCtrl* tree = frame->GetHelpWindow()->GetTreeCtrl())
        if (auto* book = dynamic_cast<wxBookCtrlBase*>(tree->GetParent()->GetParent()))
            for (std::size_t i = 0; i < book->GetPageCount(); ++i) {
                book->GetPage(i)->SetSize(book->GetClientSize());
                book->GetPage(i)->Layout();
            }
    return frame;
}

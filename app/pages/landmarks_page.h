// The Landmarks task page: the recording's landmarks with their kinds and
// positions, distances and angles between the selected ones, and Rename,
// Delete, Find and Export. Edits go back to RES_LANDMARKS as a whole.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

#include "common/functor.h"

class wxButton;
class wxCheckBox;
class wxListCtrl;
class wxStaticText;

class landmarks_page : public wxScrolledWindow {
public:
    explicit landmarks_page(wxWindow* parent);
    ~landmarks_page() override;

    void LandmarksChanged();  // the list from the resources
    void ShowMeasurements();  // distances and angles of the selection

    void OnRename(wxCommandEvent&);
    void OnDelete(wxCommandEvent&);
    void OnFind(wxCommandEvent&);
    void OnExport(wxCommandEvent&);

    wxListCtrl* list = nullptr;
    wxButton* rename = nullptr;
    wxButton* remove = nullptr;
    wxButton* find = nullptr;
    wxButton* export_button = nullptr;
    wxStaticText* status = nullptr;
    wxCheckBox* snap = nullptr;  // RES_SNAP_LANDMARKS

private:
    std::vector<long> selected() const;
    std::unique_ptr<pmf_functor<landmarks_page>> changed_;
};

// Column texts of the landmark table.
wxString landmark_kind_text(int kind);

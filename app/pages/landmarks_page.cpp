#include "landmarks_page.h"

#include <cmath>
#include <limits>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/filename.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "page_controls.h"
#include "reconstruction/reslice_frames.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "surfaces/landmark_export.h"
#include "surfaces/landmark_list.h"
#include "surfaces/landmark_measure.h"
#include "surfaces/landmark_session.h"

namespace {

enum column_t { col_name, col_kind, col_x, col_y, col_z, col_distance, col_angle };

// The frame whose plane passes nearest a world point, for Find on landmarks
// that belong to no frame; -1 when no frame is placed.
long nearest_frame(const vertex3d& p, const frame_geometry_t& frames)
{
    long best = -1;
    double best_distance = std::numeric_limits<double>::infinity();
    for (long f = 0; bufp && f < bufp->frames(); ++f) {
        const auto m = frames.placement(f);
        if (!m)
            continue;
        matrix16d to_frame = *m;
        to_frame.invert();
        const double d = std::fabs((to_frame * p).z);
        if (d < best_distance) {
            best_distance = d;
            best = f;
        }
    }
    return best;
}

}  // namespace

wxString landmark_kind_text(int kind)
{
    switch (kind) {
    case LMARK_3D: return "3D";
    case LMARK_FIDUCIAL: return "Fiducial";
    case LMARK_2D: return "2D";
    case LMARK_SURFACE: return "Surface";
    case LMARK_SPINE: return "Spine";
    default: return "?";
    }
}

landmarks_page::landmarks_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    list = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 220), wxLC_REPORT);
    for (const char* heading : {"Name", "Type", "x (mm)", "y (mm)", "z (mm)", "Dist. (mm)", "Angle (o)"})
        list->AppendColumn(heading);
    sizer->Add(list, 1, wxEXPAND | wxALL, 4);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    rename = new wxButton(this, wxID_ANY, "Rename");
    remove = new wxButton(this, wxID_ANY, "Delete");
    find = new wxButton(this, wxID_ANY, "Find");
    export_button = new wxButton(this, wxID_ANY, "Export landmarks");
    for (wxButton* b : {rename, remove, find, export_button})
        buttons->Add(b, 0, wxRIGHT, 4);
    sizer->Add(buttons, 0, wxALL, 4);
    snap = new wxCheckBox(this, wxID_ANY, "Snap mouse clicks to frames");
    sizer->Add(snap, 0, wxALL, 4);
    status = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(status, 0, wxALL, 4);
    scroll_when_squeezed(this, sizer);

    rename->Bind(wxEVT_BUTTON, &landmarks_page::OnRename, this);
    remove->Bind(wxEVT_BUTTON, &landmarks_page::OnDelete, this);
    find->Bind(wxEVT_BUTTON, &landmarks_page::OnFind, this);
    export_button->Bind(wxEVT_BUTTON, &landmarks_page::OnExport, this);
    snap->SetValue(res->RES_SNAP_LANDMARKS->value());
    snap->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { res->RES_SNAP_LANDMARKS->write(snap->GetValue()); });
    list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { ShowMeasurements(); });
    list->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent&) { ShowMeasurements(); });

    changed_ = std::make_unique<pmf_functor<landmarks_page>>(this, &landmarks_page::LandmarksChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_LANDMARKS, res->RES_BUF_FRAMES, res->RES_XSCALE, res->RES_YSCALE, res->RES_XTRANS,
             res->RES_YTRANS, res->RES_ZTRANS, res->RES_AZIMUTH, res->RES_ELEVATION, res->RES_ROLL})
        r->add_proc(changed_.get());
    LandmarksChanged();
}

landmarks_page::~landmarks_page() = default;

std::vector<long> landmarks_page::selected() const
{
    std::vector<long> rows;
    for (long i = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
         i = list->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        rows.push_back(i);
    return rows;
}

void landmarks_page::LandmarksChanged()
{
    const landmarks marks = landmarks_from_session();
    const frame_geometry_t frames = frame_geometry_from_session();
    if (list->GetItemCount() != static_cast<int>(marks.list.size())) {
        list->DeleteAllItems();
        for (std::size_t i = 0; i < marks.list.size(); ++i)
            list->InsertItem(static_cast<long>(i), "");
    }
    for (std::size_t i = 0; i < marks.list.size(); ++i) {
        const landmark_t& m = marks.list[i];
        const auto row = static_cast<long>(i);
        list->SetItem(row, col_name, m.name);
        list->SetItem(row, col_kind, landmark_kind_text(m.kind));
        const auto world = world_position(m, frames);
        const double mm[3] = {world ? 10.0 * world->x : NAN, world ? 10.0 * world->y : NAN,
                              world ? 10.0 * world->z : NAN};
        for (int k = 0; k < 3; ++k)
            list->SetItem(row, col_x + k,
                          measurement_text(std::isfinite(mm[k]) ? std::optional<double>(mm[k]) : std::nullopt));
    }
    const bool any = !marks.list.empty();
    remove->Enable(any);
    find->Enable(any);
    rename->Enable(any);
    export_button->Enable(any);
    ShowMeasurements();
}

void landmarks_page::ShowMeasurements()
{
    const landmarks marks = landmarks_from_session();
    std::vector<landmark_index> chosen;
    for (long row : selected())
        if (static_cast<std::size_t>(row) < marks.list.size())
            chosen.push_back(static_cast<landmark_index>(row));
    for (long row = 0; row < list->GetItemCount(); ++row) {
        list->SetItem(row, col_distance, "");
        list->SetItem(row, col_angle, "");
    }
    // Distances and angles run along the selection, each from the row before.
    for (const measurement_row_t& r : measure(marks, chosen, frame_geometry_from_session())) {
        if (r.mark == chosen.front())
            continue;
        list->SetItem(static_cast<long>(r.mark), col_distance, measurement_text(r.distance_mm));
        list->SetItem(static_cast<long>(r.mark), col_angle, measurement_text(r.angle_deg));
    }
}

void landmarks_page::OnRename(wxCommandEvent&)
{
    const std::vector<long> rows = selected();
    landmarks marks = landmarks_from_session();
    if (rows.size() != 1 || static_cast<std::size_t>(rows[0]) >= marks.list.size()) {
        status->SetLabel("Select one landmark to rename.");
        return;
    }
    const auto i = static_cast<landmark_index>(rows[0]);
    const auto name = interaction().ask_text("Rename landmark", "New name:", marks.list[i].name, text_kind_t::line);
    if (!name)
        return;
    wxString why;
    if (!::rename(&marks, i, *name, &why)) {
        interaction().inform("Rename landmark", why);
        return;
    }
    landmarks_to_session(std::move(marks));
}

void landmarks_page::OnDelete(wxCommandEvent&)
{
    std::vector<long> rows = selected();
    landmarks marks = landmarks_from_session();
    // From the end, so that earlier indices stay valid.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        ::remove(&marks, static_cast<landmark_index>(*it));
    if (!rows.empty())
        landmarks_to_session(std::move(marks));
}

void landmarks_page::OnFind(wxCommandEvent&)
{
    const std::vector<long> rows = selected();
    const landmarks marks = landmarks_from_session();
    if (rows.empty() || static_cast<std::size_t>(rows[0]) >= marks.list.size())
        return;
    const landmark_t& m = marks.list[static_cast<std::size_t>(rows[0])];
    const frame_geometry_t frames = frame_geometry_from_session();
    long frame = -1;
    if (m.kind == LMARK_2D) {
        frame = m.index;
    } else if (const auto world = world_position(m, frames)) {
        frame = nearest_frame(*world, frames);
    }
    if (frame < 0 || !bufp || frame >= bufp->frames()) {
        status->SetLabel(wxString::Format("%s lies on no frame held.", m.name));
        return;
    }
    res->RES_BUF_CURRENT_FRAME->write(frame);
    status->SetLabel(wxString::Format("%s: frame %ld.", m.name, frame + 1));
}

void landmarks_page::OnExport(wxCommandEvent&)
{
    const auto choice = interaction().ask_file("Export landmarks as", "CSV file|*.csv|TXT file|*.txt",
                                               res->RES_ASCII_FILENAME->value().GetPath(),
                                               true);
    if (!choice)
        return;
    const wxString path = landmark_export_path(choice->path);
    if (wxFileName::FileExists(path) &&
        interaction().ask("Append landmarks",
                          " This file already exists - landmarks will be appended.\n Select OK to proceed and append "
                          "data.",
                          question_t::ok_cancel, answer_t::ok) != answer_t::ok)
        return;
    const bool ok = export_landmarks(path, landmarks_from_session(), landmark_export_context_from_session());
    status->SetLabel(ok ? "Exported to " + path : "Could not export to " + path);
}

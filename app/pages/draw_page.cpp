#include "draw_page.h"

#include "common/file_names.h"

#include <algorithm>

#include <wx/bitmap.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcmemory.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "common/file_names.h"
#include "common/interaction.h"
#include "display/globcmap.h"
#include "main_frame.h"
#include "page_controls.h"
#include "reconstruction/reslice_frames.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "segmentation/object_list.h"
#include "segmentation/outline_statistics.h"
#include "surfaces/mesh_measure.h"
#include "surfaces/surface_files.h"
#include "surfaces/surface_colour.h"
#include "surfaces/surface_interp.h"
#include "surfaces/surface_session.h"
#include "views/review_canvas.h"

namespace {

constexpr int swatch = 14;

wxBitmap colour_swatch(const rgb_t& c)
{
    wxBitmap bitmap(swatch, swatch);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    dc.SetBrush(wxBrush(wxColour(c.r, c.g, c.b)));
    dc.SetPen(*wxBLACK_PEN);
    dc.DrawRectangle(1, 1, swatch - 2, swatch - 2);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

wxSpinCtrl* labelled_spin(wxWindow* parent, wxSizer* grid, const char* label, int low, int high)
{
    grid->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    auto* spin = new wxSpinCtrl(parent, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxSP_ARROW_KEYS, low, high);
    grid->Add(spin, 0, wxEXPAND);
    return spin;
}

// Edits go to a copy: the resource sees a change only as a new table.
std::shared_ptr<object_table> table_copy()
{
    return std::make_shared<object_table>(*res->RES_OBJECT->value());
}

}  // namespace

draw_page::draw_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    objects = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 180),
                             wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_NO_HEADER);
    objects->InsertColumn(0, "Object", wxLIST_FORMAT_LEFT, 200);
    objects->SetImageList(new wxImageList(swatch, swatch), wxIMAGE_LIST_SMALL);  // the control owns it
    sizer->Add(objects, 0, wxEXPAND | wxALL, 4);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    clear = new wxButton(this, wxID_ANY, "Clear");
    buttons->Add(clear, 0, wxRIGHT, 8);
    segment_regions = new wxCheckBox(this, wxID_ANY, "Segment regions");
    buttons->Add(segment_regions, 0, wxALIGN_CENTER_VERTICAL);
    sizer->Add(buttons, 0, wxALL, 4);

    // Segmentation selects what the threshold colour map shows in magenta.
    auto* threshold = new wxStaticBoxSizer(wxVERTICAL, this, "Threshold");
    show_threshold = new wxCheckBox(threshold->GetStaticBox(), wxID_ANY, "Show threshold");
    threshold->Add(show_threshold, 0, wxALL, 2);
    auto* levels = new wxFlexGridSizer(2, 4, 6);
    grey_lo = labelled_spin(threshold->GetStaticBox(), levels, "Select grey from:", 0, 255);
    grey_hi = labelled_spin(threshold->GetStaticBox(), levels, "to:", 0, 255);
    grey_barrier = labelled_spin(threshold->GetStaticBox(), levels, "Barrier grey:", 0, 255);
    threshold->Add(levels, 0, wxALL, 2);
    sizer->Add(threshold, 0, wxEXPAND | wxALL, 4);

    auto* grid = new wxFlexGridSizer(2, 4, 6);
    accuracy = labelled_spin(this, grid, "Contour accuracy (x0.1 pixels):", 0, 100);
    grid->AddSpacer(0);
    by_zoom = new wxCheckBox(this, wxID_ANY, "Automate using zoom");
    grid->Add(by_zoom);
    jump = labelled_spin(this, grid, "Join gaps of (pixels):", 0, 100);
    frame_gap = labelled_spin(this, grid, "Frame gap (0 for one frame):", 0, 1000);
    sizer->Add(grid, 0, wxALL, 4);
    const wxString hole_choices[] = {"&All", "&Hole", "&Body"};
    holes = new wxRadioBox(this, wxID_ANY, "Holes", wxDefaultPosition, wxDefaultSize, 3, hole_choices, 3);
    sizer->Add(holes, 0, wxALL, 4);
    connected = new wxCheckBox(this, wxID_ANY, "Connected regions only");
    sizer->Add(connected, 0, wxALL, 4);
    ridges = new wxCheckBox(this, wxID_ANY, "Follow ridges in gaps");
    sizer->Add(ridges, 0, wxALL, 4);
    all_objects_3d = new wxCheckBox(this, wxID_ANY, "All objects in the 3D window");
    sizer->Add(all_objects_3d, 0, wxALL, 4);
    outlines_only_3d = new wxCheckBox(this, wxID_ANY, "Outlines without frames in the 3D window");
    sizer->Add(outlines_only_3d, 0, wxALL, 4);
    auto* view_row = new wxBoxSizer(wxHORIZONTAL);
    view_row->Add(new wxStaticText(this, wxID_ANY, "3D view from:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    const wxString views[] = {"Anywhere", "The side", "The front", "Above"};
    view_3d = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 4, views);
    view_row->Add(view_3d);
    sizer->Add(view_row, 0, wxALL, 4);

    auto* surfaces = new wxStaticBoxSizer(wxVERTICAL, this, "Surface creation");
    wxWindow* box = surfaces->GetStaticBox();
    auto* surface_grid = new wxFlexGridSizer(2, 4, 6);
    surface_grid->Add(new wxStaticText(box, wxID_ANY, "Resolution:"), 0, wxALIGN_CENTER_VERTICAL);
    wxArrayString resolutions;
    for (const char* name : surface_resolution_names)
        resolutions.Add(name);
    resolution = new wxChoice(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, resolutions);
    resolution->SetSelection(4);  // Medium
    surface_grid->Add(resolution, 0, wxEXPAND);
    surface_grid->Add(new wxStaticText(box, wxID_ANY, "Smoothing:"), 0, wxALIGN_CENTER_VERTICAL);
    const wxString smoothings[] = {"Standard", "Pre-Version 4.7"};
    smoothing = new wxChoice(box, wxID_ANY, wxDefaultPosition, wxDefaultSize, 2, smoothings);
    smoothing->SetSelection(0);
    surface_grid->Add(smoothing, 0, wxEXPAND);
    strength = labelled_spin(box, surface_grid, "Strength:", 0, 20);
    surfaces->Add(surface_grid, 0, wxALL, 2);
    auto* prioritise = new wxBoxSizer(wxHORIZONTAL);
    prioritise->Add(new wxStaticText(box, wxID_ANY, "Prioritise"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    prioritise_objects = new wxCheckBox(box, wxID_ANY, "objects,");
    prioritise_holes = new wxCheckBox(box, wxID_ANY, "holes");
    prioritise->Add(prioritise_objects, 0, wxRIGHT, 6);
    prioritise->Add(prioritise_holes);
    surfaces->Add(prioritise, 0, wxALL, 2);
    cover = new wxCheckBox(box, wxID_ANY, "Triangulate ends within data");
    surfaces->Add(cover, 0, wxALL, 2);
    auto* compounding_grid = new wxFlexGridSizer(2, 4, 6);
    compound_depth = labelled_spin(box, compounding_grid, "Compounding depth (pixels):", 0, 50);
    compound_depth->SetValue(5);
    surfaces->Add(compounding_grid, 0, wxALL, 2);
    const wxString compoundings[] = {"&Max", "M&in", "&Avg"};
    compound_type = new wxRadioBox(box, wxID_ANY, "Compounding type", wxDefaultPosition, wxDefaultSize, 3,
                                   compoundings, 3);
    surfaces->Add(compound_type, 0, wxALL, 2);
    auto* surface_buttons = new wxBoxSizer(wxHORIZONTAL);
    update = new wxButton(box, wxID_ANY, "Update");
    update_all = new wxButton(box, wxID_ANY, "Update all");
    save_surface = new wxButton(box, wxID_ANY, "Save surface");
    for (wxButton* b : {update, update_all, save_surface})
        surface_buttons->Add(b, 0, wxRIGHT, 4);
    surfaces->Add(surface_buttons, 0, wxALL, 2);
    compound = new wxButton(box, wxID_ANY, "Compound data");
    surfaces->Add(compound, 0, wxALL, 2);
    sizer->Add(surfaces, 0, wxEXPAND | wxALL, 4);

    auto* stats = new wxStaticBoxSizer(wxVERTICAL, this, "Statistics");
    for (wxStaticText** t : {&area, &perimeter, &centre, &volume, &data}) {
        *t = new wxStaticText(stats->GetStaticBox(), wxID_ANY, "");
        stats->Add(*t, 0, wxALL, 2);
    }
    sizer->Add(stats, 0, wxEXPAND | wxALL, 4);
    scroll_when_squeezed(this, sizer);

    objects->Bind(wxEVT_LIST_ITEM_SELECTED, &draw_page::OnChooseObject, this);
    objects->Bind(wxEVT_LIST_ITEM_ACTIVATED, &draw_page::OnRenameObject, this);
    clear->Bind(wxEVT_BUTTON, &draw_page::OnClear, this);
    segment_regions->Bind(wxEVT_CHECKBOX, &draw_page::OnSegmentRegions, this);
    for (wxSpinCtrl* s : {accuracy, jump, frame_gap, grey_lo, grey_hi, grey_barrier})
        s->Bind(wxEVT_SPINCTRL, &draw_page::OnSetting, this);
    for (wxCheckBox* c : {by_zoom, connected, ridges, all_objects_3d, outlines_only_3d, show_threshold})
        c->Bind(wxEVT_CHECKBOX, &draw_page::OnSetting, this);
    holes->Bind(wxEVT_RADIOBOX, &draw_page::OnSetting, this);
    for (wxCheckBox* c : {prioritise_objects, prioritise_holes, cover})
        c->Bind(wxEVT_CHECKBOX, &draw_page::OnSetting, this);
    update->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnUpdateSurfaces(false); });
    update_all->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnUpdateSurfaces(true); });
    save_surface->Bind(wxEVT_BUTTON, &draw_page::OnSaveSurface, this);
    compound->Bind(wxEVT_BUTTON, &draw_page::OnCompoundData, this);
    view_3d->Bind(wxEVT_CHOICE, &draw_page::OnSetting, this);

    objects_changed_ = std::make_unique<pmf_functor<draw_page>>(this, &draw_page::ObjectsChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_OBJECT, res->CURRENT_OBJECT, res->RES_BUF_CURRENT_FRAME, res->RES_BUF_FRAMES, res->RES_XSCALE,
             res->RES_YSCALE, res->RES_XTRANS, res->RES_YTRANS, res->RES_ZTRANS, res->RES_AZIMUTH,
             res->RES_ELEVATION, res->RES_ROLL, res->RES_SWEEPS, res->RES_BUF_DICOM, res->RES_DICOM_HUM,
             res->RES_DICOM_HUB})
        r->add_proc(objects_changed_.get());
    watch_surfaces(objects_changed_.get());
    settings_changed_ = std::make_unique<pmf_functor<draw_page>>(this, &draw_page::SettingsChanged);
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_SIMPLIFY_THRESH, res->RES_THRESH_BY_ZOOM, res->RES_JUMP_THRESH, res->RES_SEGMENT_TYPE,
             res->RES_SEGMENT_FRAME, res->RES_SEGMENT_CONNECTED, res->RES_SEGMENT_RIDGES, res->RES_OUTLINE_ALL,
             res->RES_OUTLINE_CLEAR, res->RES_CMAP_BINARY, res->RES_CMAP_GREY_LO, res->RES_CMAP_GREY_HI,
             res->RES_CMAP_GREY_ANTI, res->RES_OUTLINE_VIEW_ANGLE, res->RES_SURFACE_CONNECT_OBJECTS,
             res->RES_SURFACE_CONNECT_HOLES, res->RES_SURFACE_COVER})
        r->add_proc(settings_changed_.get());
    SettingsChanged();
    ObjectsChanged();
    // Placed now, at the scrolled size: GTK would otherwise first draw the
    // spin controls at the width wx guessed before their style was known.
    Layout();
}

draw_page::~draw_page() = default;

void draw_page::fill_list(int length)
{
    const object_table& table = *res->RES_OBJECT->value();
    wxImageList* images = objects->GetImageList(wxIMAGE_LIST_SMALL);
    images->RemoveAll();
    if (objects->GetItemCount() != length) {
        objects->DeleteAllItems();
        for (int i = 0; i < length; ++i)
            objects->InsertItem(i, "");
    }
    for (int i = 0; i < length; ++i) {
        images->Add(colour_swatch(table[i].colour));
        objects->SetItem(i, 0, table[i].name, i);
    }
    const long current = std::clamp<long>(res->CURRENT_OBJECT->value(), 0, length - 1);
    if (objects->GetItemState(current, wxLIST_STATE_SELECTED) == 0)
        objects->SetItemState(current, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    objects->EnsureVisible(current);
}

void draw_page::ObjectsChanged()
{
    const auto& table = res->RES_OBJECT->value();
    if (!table)
        return;
    // The list (names and colour swatches) changes only with the objects, not
    // with the frame shown, which moves at the playback rate.
    if (!list_filled_ || res->RES_OBJECT->changed() || res->CURRENT_OBJECT->changed()) {
        const int length = std::max(object_list_length(*table),
                                    static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value() + 1, 1, 200)));
        if (res->CURRENT_MAX_OBJECTS->value() != length)
            res->CURRENT_MAX_OBJECTS->write(length);
        refreshing_ = true;
        fill_list(length);
        refreshing_ = false;
        list_filled_ = true;
    }

    const int object = static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1));
    std::optional<surface_summary_t> surface;
    if (const auto& built = res->RES_SURFACE[static_cast<std::size_t>(object)]->value())
        surface = surface_summary_t{built->volume, built->centre};
    const outline_statistics s =
        measure_outlines_from_session(object, static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()), surface);
    area->SetLabel(s.area);
    perimeter->SetLabel(s.perimeter);
    centre->SetLabel(s.centre);
    volume->SetLabel(s.volume);
    data->SetLabel(s.data);
    const bool has_surface = static_cast<bool>(surface);
    clear->Enable((*table)[object].has_outlines() || has_surface);
    update->Enable((*table)[object].has_outlines());
    save_surface->Enable(has_surface);
    compound->Enable(has_surface);
    // The texts change the page's width: its scrolled area must follow, or the
    // controls are laid out narrower than they need.
    FitInside();
}

void draw_page::SettingsChanged()
{
    refreshing_ = true;
    accuracy->SetValue(static_cast<int>(res->RES_SIMPLIFY_THRESH->value()));
    by_zoom->SetValue(res->RES_THRESH_BY_ZOOM->value());
    jump->SetValue(static_cast<int>(res->RES_JUMP_THRESH->value()));
    holes->SetSelection(static_cast<int>(std::clamp<long>(res->RES_SEGMENT_TYPE->value(), 0, 2)));
    frame_gap->SetValue(static_cast<int>(res->RES_SEGMENT_FRAME->value()));
    connected->SetValue(res->RES_SEGMENT_CONNECTED->value());
    ridges->SetValue(res->RES_SEGMENT_RIDGES->value());
    all_objects_3d->SetValue(res->RES_OUTLINE_ALL->value());
    outlines_only_3d->SetValue(res->RES_OUTLINE_CLEAR->value());
    prioritise_objects->SetValue(res->RES_SURFACE_CONNECT_OBJECTS->value());
    prioritise_holes->SetValue(res->RES_SURFACE_CONNECT_HOLES->value());
    cover->SetValue(res->RES_SURFACE_COVER->value());
    view_3d->SetSelection(static_cast<int>(std::clamp<long>(res->RES_OUTLINE_VIEW_ANGLE->value(), 0, 3)));
    show_threshold->SetValue(res->RES_CMAP_BINARY->value());
    grey_lo->SetValue(static_cast<int>(res->RES_CMAP_GREY_LO->value()));
    grey_hi->SetValue(static_cast<int>(res->RES_CMAP_GREY_HI->value()));
    grey_barrier->SetValue(static_cast<int>(res->RES_CMAP_GREY_ANTI->value()));
    accuracy->Enable(!by_zoom->GetValue());
    refreshing_ = false;
}

void draw_page::OnChooseObject(wxListEvent& event)
{
    if (!refreshing_ && event.GetIndex() >= 0)
        res->CURRENT_OBJECT->write(event.GetIndex());
}

void draw_page::OnRenameObject(wxListEvent& event)
{
    const long i = event.GetIndex();
    if (i < 0 || i >= object_table::size)
        return;
    const auto name = interaction().ask_text("Rename object", "Name of the object:",
                                             (*res->RES_OBJECT->value())[static_cast<int>(i)].name, text_kind_t::line);
    if (!name || name->Strip(wxString::both).empty())
        return;
    auto table = table_copy();
    (*table)[static_cast<int>(i)].name = name->Strip(wxString::both);
    res->RES_OBJECT->write(table);
}

void draw_page::OnClear(wxCommandEvent&)
{
    const int object = static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1));
    const auto choice = interaction().ask_choice(
        "Clear", "What do you want to do with these contours?",
        {"Delete all contours in this object", "Only delete contours in the current frame",
         "Delete surface but not the original contours", "Delete all curves on this surface",
         "Delete all landmarks on this surface"});
    if (!choice)
        return;
    if (*choice == 2) {
        res->RES_SURFACE[static_cast<std::size_t>(object)]->write(nullptr);
        return;
    }
    if (*choice == 3) {
        auto curves = std::make_shared<curve_set>(res->RES_CURVE->value() ? *res->RES_CURVE->value() : curve_set{});
        std::erase_if(curves->curves, [&](const curve_t& c) { return c.object == object; });
        res->RES_CURVE->write(curves);
        return;
    }
    if (*choice == 4) {
        auto marks = std::make_shared<landmarks>(res->RES_LANDMARKS->value() ? *res->RES_LANDMARKS->value()
                                                                             : landmarks{});
        std::erase_if(marks->list,
                      [&](const landmark_t& m) { return m.kind == LMARK_SURFACE && m.index == object; });
        res->RES_LANDMARKS->write(marks);
        return;
    }
    auto table = table_copy();
    contour_object& o = (*table)[object];
    if (*choice == 0) {
        o.clear();
    } else if (contour_set* s = o.find_set(static_cast<std::int32_t>(res->RES_BUF_CURRENT_FRAME->value()))) {
        s->contours.clear();
        o.remove_empty_sets();
    }
    res->RES_OBJECT->write(table);
}

void draw_page::OnUpdateSurfaces(bool all)
{
    const surface_settings_t settings = surface_settings_from_session(
        surface_resolution_step(resolution->GetSelection()), smoothing->GetSelection(), strength->GetValue());
    const int current = static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1));
    const surface_update_t done = update_surfaces(settings, all ? -1 : current);
    if (main_win)
        main_win->SetStatusText(
            done.cancelled ? wxString("Surface calculation cancelled.")
                           : wxString::Format("%zu surfaces built%s.", done.built.size(),
                                              done.failed.empty() ? wxString()
                                                                  : wxString::Format(", %zu not", done.failed.size())),
            0);
}

void draw_page::OnCompoundData(wxCommandEvent&)
{
    const int object = static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1));
    const auto& built = res->RES_SURFACE[static_cast<std::size_t>(object)]->value();
    if (!built)
        return;
    const wxString name = (*res->RES_OBJECT->value())[object].name;
    if (main_win)
        main_win->SetStatusText("Compounding data onto " + name, 0);
    surface_colouring_t how;
    how.depth_pixels = compound_depth->GetValue();
    how.type = static_cast<reslice_compounding_t>(std::clamp(compound_type->GetSelection(), 0, 2));
    // A new surface object, so that everything showing the old one sees the change.
    auto coloured = std::make_shared<surface_interp>(*built);
    if (!coloured->colour_with_data(source_from_session(), how, colourmap ? &colourmap->byte_maps() : nullptr)) {
        interaction().inform("Compound data", "No recorded data lies along the surface of " + name + ".");
        return;
    }
    res->RES_SURFACE[static_cast<std::size_t>(object)]->write(coloured);
    if (main_win)
        main_win->SetStatusText("Surface of " + name + " coloured with the data.", 0);
}

void draw_page::OnSaveSurface(wxCommandEvent&)
{
    const int object = static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1));
    const auto& surface = res->RES_SURFACE[static_cast<std::size_t>(object)]->value();
    if (!surface)
        return;
    // The name decides the format; a name the filters do not offer is refused, not written as PLY.
    const auto choice = ask_save_file("Save surface",
                                      "PLY file (*.ply)|*.ply|VRML file (*.wrl)|*.wrl|STL file, millimetres (*.stl)|*.stl|"
                                      "Wavefront OBJ file, millimetres (*.obj)|*.obj",
                                      res->RES_ASCII_FILENAME->value().GetPath());
    if (!choice)
        return;
    const wxFileName path(choice->path);
    const std::optional<surface_format_t> format = surface_format_for(choice->path, res->RES_VRML2_SURFACES->value());
    if (!format)
        return;
    std::vector<const surface_mesh_t*> meshes;
    for (const surface_sequence_t& s : surface->get_seq())
        meshes.push_back(&s.mesh);
    const contour_object& o = (*res->RES_OBJECT->value())[object];
    surface_save_t how;
    how.format = *format;
    how.colour = o.colour;
    how.opacity = o.opacity;
    how.object = object;
    how.marks = res->RES_LANDMARKS->value().get();
    how.curves = res->RES_CURVE->value().get();
    const bool ok = ::save_surface(path.GetFullPath(), merged_mesh(meshes), how);
    if (main_win)
        main_win->SetStatusText(ok ? "Saved " + path.GetFullPath() : "Could not save " + path.GetFullPath(), 0);
}

void draw_page::OnSegmentRegions(wxCommandEvent&)
{
    if (main_win && main_win->review())
        main_win->review()->draw_tool().set_segmenting(segment_regions->GetValue());
}

void draw_page::OnSetting(wxCommandEvent&)
{
    if (refreshing_)
        return;
    res->RES_SIMPLIFY_THRESH->write_no_changeprocs(accuracy->GetValue());
    res->RES_THRESH_BY_ZOOM->write_no_changeprocs(by_zoom->GetValue());
    res->RES_JUMP_THRESH->write_no_changeprocs(jump->GetValue());
    res->RES_SEGMENT_TYPE->write_no_changeprocs(holes->GetSelection());
    res->RES_SEGMENT_FRAME->write_no_changeprocs(frame_gap->GetValue());
    res->RES_SEGMENT_CONNECTED->write_no_changeprocs(connected->GetValue());
    res->RES_SEGMENT_RIDGES->write_no_changeprocs(ridges->GetValue());
    res->RES_OUTLINE_ALL->write_no_changeprocs(all_objects_3d->GetValue());
    res->RES_OUTLINE_CLEAR->write_no_changeprocs(outlines_only_3d->GetValue());
    res->RES_OUTLINE_VIEW_ANGLE->write_no_changeprocs(view_3d->GetSelection());
    res->RES_SURFACE_CONNECT_OBJECTS->write_no_changeprocs(prioritise_objects->GetValue());
    res->RES_SURFACE_CONNECT_HOLES->write_no_changeprocs(prioritise_holes->GetValue());
    res->RES_SURFACE_COVER->write_no_changeprocs(cover->GetValue());
    res->RES_CMAP_BINARY->write_no_changeprocs(show_threshold->GetValue());
    res->RES_CMAP_GREY_LO->write_no_changeprocs(grey_lo->GetValue());
    res->RES_CMAP_GREY_HI->write_no_changeprocs(grey_hi->GetValue());
    res->RES_CMAP_GREY_ANTI->write_no_changeprocs(grey_barrier->GetValue());
    base_res_t::make_pending_writes_happen();
}

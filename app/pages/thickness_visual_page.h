// The Thickness visual page: which result colours the surface and through
// which colour map and scale (RES_THICKNESS_DISP_..., _SCALE_..., _ZERO_HU),
// and the point picked in the 3D view: its thickness and its profile with
// the fitted model. It also keeps the surfaces' colours in step with the
// results and the scale (thickness_colours.h).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include <wx/scrolwin.h>

#include "common/functor.h"
#include "common/vertex.h"
#include "thickness/thickness_colours.h"

class plot_panel_t;
class wxCheckBox;
class wxChoice;
class wxSpinCtrl;
class wxStaticBitmap;
class wxStaticText;

class thickness_visual_page : public wxScrolledWindow {
public:
    explicit thickness_visual_page(wxWindow* parent);
    ~thickness_visual_page() override;

    void DisplayChanged();  // controls, surface colours and the picked point's plot from the resources

    // A click on object's surface at world point p (cm): the nearest point
    // of that surface is picked. False when the surface has no results.
    bool pick(int object, const vertex3d& p);

    void OnSetting(wxCommandEvent&);

    wxChoice* shown = nullptr;       // RES_THICKNESS_DISP_MAP
    wxChoice* colour_map = nullptr;  // RES_THICKNESS_DISP_COL
    wxSpinCtrl* scale_mm = nullptr;
    wxSpinCtrl* scale_hu = nullptr;
    wxSpinCtrl* scale_humm = nullptr;
    wxSpinCtrl* zero_hu = nullptr;
    wxStaticBitmap* scale_bar = nullptr;
    wxStaticText* scale_text = nullptr;   // the bar's ends, in the shown quantity's unit
    wxCheckBox* data = nullptr;           // RES_THICKNESS_DISP_DATA
    wxCheckBox* function = nullptr;       // RES_THICKNESS_DISP_FUNC
    wxCheckBox* steps = nullptr;          // RES_THICKNESS_DISP_STEP
    wxStaticText* picked_text = nullptr;  // "Thickness is ... +/- ... mm"
    plot_panel_t* profile = nullptr;

    int picked_object() const { return picked_object_; }
    std::size_t picked_point() const { return picked_point_; }
    // Where the picked point lies (world cm), for the 3D view to mark;
    // nothing when none is picked or its results are gone.
    std::optional<vertex3d> picked_position() const;

private:
    void show_scale(const thickness_scale_t& scale);
    void show_picked();  // fits the picked point again with the settings held
    bool refreshing_ = false;
    int picked_object_ = -1;
    std::size_t picked_point_ = 0;
    vertex3d picked_at_;
    thickness_colourer_t colourer_;
    std::unique_ptr<pmf_functor<thickness_visual_page>> changed_;
};

// The "Fit shape model" task page: loads a statistical shape model, takes
// target points from an object, registers the model to the recording's
// landmarks and by iterative closest points, maps the fitted surface back
// into outlines of an object and saves it. The work is done by the session's
// fit_model; the page only gathers settings and shows what happened.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

#include "common/functor.h"

class wxButton;
class wxChoice;
class wxRadioBox;
class wxSpinCtrl;
class wxStaticText;
class wxTextCtrl;

class shape_model_page : public wxScrolledWindow {
public:
    explicit shape_model_page(wxWindow* parent);
    ~shape_model_page() override;

    wxButton* load = nullptr;
    wxStaticText* current = nullptr;
    wxChoice* points_from = nullptr;
    wxButton* map_points = nullptr;
    wxButton* initialize = nullptr;
    wxRadioBox* type = nullptr;
    wxSpinCtrl* modes = nullptr;
    wxTextCtrl* flexibility = nullptr;
    wxSpinCtrl* iterations = nullptr;
    wxStaticText* range_label = nullptr;
    wxTextCtrl* range = nullptr;
    wxButton* fit_landmarks = nullptr;
    wxButton* start = nullptr;
    wxButton* reset_model = nullptr;
    wxButton* reset_nonrigid = nullptr;
    wxButton* flip = nullptr;
    wxChoice* contours_to = nullptr;
    wxSpinCtrl* every = nullptr;
    wxSpinCtrl* accuracy = nullptr;
    wxButton* make_contours = nullptr;
    wxButton* save = nullptr;
    wxStaticText* status = nullptr;

    // The settings typed on the page, into the model; false (with a message)
    // for a flexibility or search range that is not a number above 0.
    bool apply_settings();

private:
    void ModelChanged();
    void fill_objects();
    void show_range(double range_mm);
    void OnLoad(wxCommandEvent&);
    void OnMapPoints(wxCommandEvent&);
    void OnInitialize(wxCommandEvent&);
    void OnFitLandmarks(wxCommandEvent&);
    void OnStart(wxCommandEvent&);
    void OnMakeContours(wxCommandEvent&);
    void OnSave(wxCommandEvent&);

    double range_unit_mm_ = 1.0;  // what one unit of the range field is
    std::unique_ptr<pmf_functor<shape_model_page>> changed_;
};

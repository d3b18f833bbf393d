// The "RF Oscilloscope" visual page: one RF vector of the current frame (the
// latest live frame while live), or the mean of a run of vectors, drawn as a
// trace, raw or as its envelope, with the vectors, the samples shown, the
// gain and the axes on the page (RES_RFSCOPE_*). The main window enables it only when RES_RFSCOPE_VIABLE.
#pragma once

#include <memory>
#include <vector>

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>

#include "acquisition/rf_scope.h"
#include "common/functor.h"

class wxCheckBox;
class wxChoice;
class wxSpinCtrl;
class wxStaticText;

// Draws a trace with wx alone; what it shows can be grabbed as the user sees it.
class rf_plot_panel : public wxPanel {
public:
    explicit rf_plot_panel(wxWindow* parent);
    void show(rf_trace_t trace, bool axes);
    void clear();
    // The panel as painted, at its present size.
    wxBitmap grab() const;
    // Where sample k of the trace is drawn in a panel of this size.
    wxPoint point(std::size_t k, const wxSize& size) const;
    const rf_trace_t& trace() const { return trace_; }
    bool has_trace() const { return has_trace_; }

    static inline const wxColour trace_colour{0, 220, 60};

private:
    void draw(wxDC& dc, const wxSize& size) const;
    void OnPaint(wxPaintEvent&);

    rf_trace_t trace_;
    bool has_trace_ = false, axes_ = true;
};

class rfscope_page : public wxScrolledWindow {
public:
    explicit rfscope_page(wxWindow* parent);
    ~rfscope_page() override;
    void RfScopeChanged();  // a setting, the frame or its display changed

    wxSpinCtrl* vector = nullptr;
    wxSpinCtrl* averaged = nullptr;      // 0 or 1: the vector alone
    wxSpinCtrl* first_vector = nullptr;  // the first of those averaged
    wxSpinCtrl* first_sample = nullptr;
    wxSpinCtrl* samples = nullptr;  // 0: to the end of the vector
    wxSpinCtrl* gain = nullptr;     // dB
    wxChoice* type = nullptr;       // raw, envelope
    wxCheckBox* axes = nullptr;
    wxStaticText* status = nullptr;
    rf_plot_panel* plot = nullptr;

    void OnRfScopeControl(wxCommandEvent&);

private:
    // Listens to live frames while live on this page: capture runs for the scope too.
    void follow_live();

    std::unique_ptr<pmf_functor<rfscope_page>> changed_;
    std::unique_ptr<pmf_functor<rfscope_page>> live_;
    bool listening_ = false;
};

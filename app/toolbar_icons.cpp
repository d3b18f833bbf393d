#include "toolbar_icons.h"

#include <wx/dcmemory.h>

#include "ids.h"

wxBitmap toolbar_icon(int tool_id, int size)
{
    wxBitmap bitmap(size, size);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxLIGHT_GREY_BRUSH);
    dc.Clear();
    const int m = size / 6, s = size - 2 * m;
    dc.SetPen(wxPen(*wxBLACK, std::max(1, size / 16)));
    switch (tool_id) {
    case ID_TOOL_LIVE:
        dc.SetBrush(*wxGREEN_BRUSH);
        dc.DrawEllipse(m, m, s, s);
        break;
    case ID_TOOL_RECORD:
        dc.SetBrush(*wxRED_BRUSH);
        dc.DrawEllipse(m, m, s, s);
        break;
    case ID_TOOL_CLEAR:
        dc.DrawLine(m, m, size - m, size - m);
        dc.DrawLine(size - m, m, m, size - m);
        break;
    case ID_TOOL_PLAY: {
        const wxPoint triangle[] = {{m, m}, {size - m, size / 2}, {m, size - m}};
        dc.SetBrush(*wxBLACK_BRUSH);
        dc.DrawPolygon(3, triangle);
        break;
    }
    case ID_TOOL_DRAW:
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawEllipse(m, m + s / 4, s, s / 2);
        break;
    case ID_TOOL_MEASURE:
        dc.DrawLine(m, size - m, size - m, m);
        break;
    case ID_TOOL_MARK:
        dc.DrawLine(size / 2, m, size / 2, size - m);
        dc.DrawLine(m, size / 2, size - m, size / 2);
        break;
    default:
        dc.SetBrush(*wxWHITE_BRUSH);
        dc.DrawRectangle(m, m, s, s);
        break;
    }
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

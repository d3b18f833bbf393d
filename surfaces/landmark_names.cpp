#include "landmark_names.h"

#include <algorithm>

#include <wx/crt.h>

namespace spine {

const std::array<const char*, vertebra_count> vertebra_names = {
    "C3", "C4", "C5", "C6", "C7", "T1",  "T2",  "T3", "T4", "T5", "T6",
    "T7", "T8", "T9", "T10", "T11", "T12", "L1", "L2", "L3", "L4", "L5"};
const std::array<const char*, marks_per_vertebra> mark_names = {"Left Lamina", "Spinous Process", "Right Lamina"};
const std::array<const char*, reference_count> reference_names = {"Left Lower", "Central Upper", "Right Lower"};

wxString vertebra_name(int vertebra)
{
    if (vertebra < 0 || vertebra >= vertebra_count)
        return {};
    return vertebra_names[static_cast<std::size_t>(vertebra)];
}

wxString landmark_name(int vertebra, int mark)
{
    if (vertebra < 0 || vertebra >= vertebra_count || mark < 0 || mark >= marks_per_vertebra)
        return {};
    return wxString(vertebra_names[static_cast<std::size_t>(vertebra)]) + " " +
           mark_names[static_cast<std::size_t>(mark)];
}

wxString reference_name(int reference)
{
    if (reference < 0 || reference >= reference_count)
        return {};
    return wxString("Spine ") + reference_names[static_cast<std::size_t>(reference)];
}

}  // namespace spine

namespace {

bool name_taken(const landmarks& marks, const wxString& name, std::optional<landmark_index> self)
{
    for (std::size_t i = 0; i < marks.list.size(); ++i)
        if ((!self || *self != i) && marks.list[i].name == name)
            return true;
    return false;
}

}  // namespace

// A line feed or carriage return would split the LANDMARK line and leave the
// recording unreadable; other control characters are no better in a CSV.
bool has_control_character(const wxString& name)
{
    return std::any_of(name.begin(), name.end(), [](wxUniChar c) {
        const auto v = c.GetValue();
        return v < 0x20 || v == 0x7f;
    });
}

wxString default_landmark_name(const landmarks& marks, lmark_t kind)
{
    const wxString stem = kind == LMARK_FIDUCIAL ? "Fiducial " : kind == LMARK_SURFACE ? "Surface " : "Landmark ";
    // Only list.size() names can be taken, so the search ends by size + 1.
    for (std::size_t i = 1;; ++i) {
        const wxString name = stem + wxString::Format("%zu", i);
        if (!name_taken(marks, name, std::nullopt))
            return name;
    }
}

bool check_name(const landmarks& marks, const wxString& name, lmark_t kind, std::optional<landmark_index> self,
                wxString* why)
{
    auto refuse = [why](const char* text) {
        if (why)
            *why = text;
        return false;
    };
    if (name.empty())
        return refuse("Landmark name must not be empty!");
    if (wxIsspace(name[0]))
        return refuse("Landmark name must not begin with white space");
    if (has_control_character(name))
        return refuse("Landmark name must not contain control characters such as a new line");
    if (name_taken(marks, name, self))
        return refuse("Landmark name must not be the same as another landmark name");
    const bool fiducial_word = name.StartsWith("Fiducial");
    if (kind != LMARK_FIDUCIAL && fiducial_word)
        return refuse("Data landmark names must not begin with the word Fiducial");
    if (kind == LMARK_FIDUCIAL && !fiducial_word)
        return refuse("Fiducial landmark names must begin with the word Fiducial");
    if (name.StartsWith("Fiducial Isocentre"))
        return refuse("Landmarks starting with the words Fiducial Isocentre are reserved.");
    if (kind == LMARK_SPINE) {
        landmark_t probe;
        probe.kind = LMARK_SPINE;
        probe.name = name;
        create_indices_from_name(&probe);
        if (probe.kind != LMARK_SPINE)
            return refuse("In-appropriate name for a spine landmark.");
    }
    return true;
}

void create_indices_from_name(landmark_t* mark)
{
    if (mark->kind != LMARK_3D && mark->kind != LMARK_SPINE)
        return;
    const wxString& name = mark->name;
    for (int r = 0; r < spine::reference_count; ++r)
        if (name == spine::reference_name(r)) {
            mark->kind = LMARK_SPINE;
            mark->spine_landmark = r;
            mark->vertebra = spine::reference_vertebra;
            return;
        }
    for (int v = 0; v < spine::vertebra_count; ++v) {
        // The blank after the vertebra keeps "T1" from matching "T13 ...".
        const wxString prefix = wxString(spine::vertebra_names[static_cast<std::size_t>(v)]) + " ";
        if (!name.StartsWith(prefix))
            continue;
        for (int k = 0; k < spine::marks_per_vertebra; ++k)
            if (name.EndsWith(spine::mark_names[static_cast<std::size_t>(k)])) {
                mark->kind = LMARK_SPINE;
                mark->spine_landmark = k;
                mark->vertebra = v;
                return;
            }
    }
    mark->kind = LMARK_3D;
    mark->spine_landmark = 0;
    mark->vertebra = 0;
}

void create_indices_from_names(landmarks* marks)
{
    for (landmark_t& m : marks->list)
        create_indices_from_name(&m);
}

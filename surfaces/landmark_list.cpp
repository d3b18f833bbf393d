#include "landmark_list.h"

#include <algorithm>

namespace {

landmark_index push(landmarks* marks, landmark_t mark)
{
    marks->list.push_back(std::move(mark));
    return marks->list.size() - 1;
}

}  // namespace

landmark_index add(landmarks* marks, const vertex3d& position, const vertex3d& direction, lmark_t kind)
{
    landmark_t mark;
    mark.kind = kind == LMARK_FIDUCIAL ? LMARK_FIDUCIAL : LMARK_3D;
    mark.position = position;
    mark.normal = direction;
    mark.name = default_landmark_name(*marks, mark.kind);
    return push(marks, std::move(mark));
}

landmark_index add(landmarks* marks, const vertex3d& position, lmark_t kind)
{
    return add(marks, position, vertex3d{}, kind);
}

landmark_index add_on_frame(landmarks* marks, const vertex2d& pixel, long frame)
{
    landmark_t mark;
    mark.kind = LMARK_2D;
    mark.position = {pixel.x, pixel.y, 0.0};
    mark.index = static_cast<std::int32_t>(frame);
    mark.name = default_landmark_name(*marks, LMARK_2D);
    return push(marks, std::move(mark));
}

landmark_index add_on_surface(landmarks* marks, const vertex3d& position, const vertex3d& normal, int object)
{
    landmark_t mark;
    mark.kind = LMARK_SURFACE;
    mark.position = position;
    mark.normal = normal;
    mark.index = object;
    mark.name = default_landmark_name(*marks, LMARK_SURFACE);
    return push(marks, std::move(mark));
}

std::optional<landmark_index> add(landmarks* marks, const vertex3d& position, lmark_t kind, const wxString& name,
                                  wxString* why)
{
    landmark_t mark;
    mark.kind = kind;
    mark.position = position;
    mark.name = name;
    if (!check_name(*marks, name, kind, std::nullopt, why))
        return std::nullopt;
    create_indices_from_name(&mark);
    return push(marks, std::move(mark));
}

std::optional<landmark_index> set_spine_landmark(landmarks* marks, const vertex3d& position, int vertebra, int mark)
{
    const wxString name =
        vertebra == spine::reference_vertebra ? spine::reference_name(mark) : spine::landmark_name(vertebra, mark);
    if (name.empty())
        return std::nullopt;
    if (const auto found = find(*marks, name)) {
        landmark_t& m = marks->list[*found];
        // A 3D landmark of that name would otherwise block the spine page.
        if (m.kind != LMARK_3D && m.kind != LMARK_SPINE)
            return std::nullopt;
        m.position = position;
        m.kind = LMARK_SPINE;
        create_indices_from_name(&m);
        return found;
    }
    return add(marks, position, LMARK_SPINE, name, nullptr);
}

std::optional<landmark_index> find(const landmarks& marks, const wxString& name)
{
    for (std::size_t i = 0; i < marks.list.size(); ++i)
        if (marks.list[i].name == name)
            return i;
    return std::nullopt;
}

std::vector<landmark_index> find(const landmarks& marks, long frame)
{
    std::vector<landmark_index> found;
    for (std::size_t i = 0; i < marks.list.size(); ++i)
        if (marks.list[i].kind == LMARK_2D && marks.list[i].index == frame)
            found.push_back(i);
    return found;
}

std::vector<landmark_index> find_surf(const landmarks& marks, int object)
{
    std::vector<landmark_index> found;
    for (std::size_t i = 0; i < marks.list.size(); ++i)
        if (marks.list[i].kind == LMARK_SURFACE && marks.list[i].index == object)
            found.push_back(i);
    return found;
}

std::optional<landmark_index> find_spine(const landmarks& marks, int vertebra, int mark)
{
    for (std::size_t i = 0; i < marks.list.size(); ++i) {
        const landmark_t& m = marks.list[i];
        if (m.kind == LMARK_SPINE && m.vertebra == vertebra && m.spine_landmark == mark)
            return i;
    }
    return std::nullopt;
}

bool rename(landmarks* marks, landmark_index i, const wxString& name, wxString* why)
{
    if (i >= marks->list.size()) {
        if (why)
            *why = "No such landmark";
        return false;
    }
    landmark_t renamed = marks->list[i];
    renamed.name = name;
    // A spine landmark keeps to the vocabulary (check_name); a 3D one may join it.
    if (!check_name(*marks, name, renamed.kind, i, why))
        return false;
    create_indices_from_name(&renamed);
    marks->list[i] = std::move(renamed);
    return true;
}

bool remove(landmarks* marks, landmark_index i)
{
    if (i >= marks->list.size())
        return false;
    marks->list.erase(marks->list.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

void clear_data_landmarks(landmarks* marks)
{
    std::erase_if(marks->list, [](const landmark_t& m) { return m.kind != LMARK_FIDUCIAL; });
}

void clear_fiducial_landmarks(landmarks* marks)
{
    std::erase_if(marks->list, [](const landmark_t& m) { return m.kind == LMARK_FIDUCIAL; });
}

#include "draw_tool.h"

#include <algorithm>
#include <cmath>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"

namespace {

object_table* objects()
{
    return res ? res->RES_OBJECT->value().get() : nullptr;
}

long current_frame() { return static_cast<long>(res->RES_BUF_CURRENT_FRAME->value()); }

int current_object()
{
    return static_cast<int>(std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1));
}

bool frame_size(long* w, long* h)
{
    const long f = current_frame();
    if (!bufp || f < 0 || f >= bufp->frames())
        return false;
    const cip_t image = bufp->imagecp(f);
    *w = image.width();
    *h = image.height();
    return !image.empty();
}

}  // namespace

contour_set* current_outlines(bool create)
{
    object_table* table = objects();
    const long f = res ? current_frame() : -1;
    if (!table || f < 0 || !bufp || f >= bufp->frames())
        return nullptr;
    contour_object& o = (*table)[current_object()];
    return create ? &o.set_for_frame(static_cast<std::int32_t>(f)) : o.find_set(static_cast<std::int32_t>(f));
}

void commit_outline_edit()
{
    if (object_table* table = objects()) {
        for (int i = 0; i < object_table::size; ++i)
            (*table)[i].remove_empty_sets();
        // The resource sees a change only as a new table; outlines are small
        // beside the frames, so a copy costs little.
        res->RES_OBJECT->write(std::make_shared<object_table>(*table));
    }
}

draw_tolerances draw_tolerances_from_session(bool segmented)
{
    return draw_tolerances_for(res->RES_MOUSE_SENSITIVITY->value(), res->RES_SIMPLIFY_THRESH->value(),
                               res->RES_THRESH_BY_ZOOM->value(), res->RES_REVIEW_ZOOM->value(), segmented);
}

void draw_tool_t::press(const vertex2d& p, bool group)
{
    cancel();
    if (!current_outlines(true))
        return;
    from_ = last_ = p;
    moved_ = false;
    if (segmenting_ && !group) {
        segment_at(p);
        return;
    }
    if (group) {
        mode_ = mode_t::group;
        return;
    }
    if (contour_set* set = current_outlines(false))
        if (const auto pick = pick_contour(*set, p, draw_tolerances_from_session(false).pick)) {
            picked_ = *pick;
            mode_ = mode_t::move;
            return;
        }
    mode_ = mode_t::stroke;
    stroke_ = contour{};
    stroke_.closed = false;
    stroke_.points.push_back(p);
}

void draw_tool_t::drag(const vertex2d& p)
{
    if (!std::isfinite(p.x) || !std::isfinite(p.y))
        return;
    switch (mode_) {
    case mode_t::stroke:
        if (!(p == stroke_.points.back()))
            stroke_.points.push_back(p);
        break;
    case mode_t::move:
        if (contour_set* set = current_outlines(false); set && picked_.contour < set->contours.size()) {
            move_contour(set->contours[picked_.contour], p.x - last_.x, p.y - last_.y);
            set->area = -1.0;
            moved_ = moved_ || !(p == from_);
        }
        break;
    default:
        break;
    }
    last_ = p;
}

void draw_tool_t::release(const vertex2d& p)
{
    drag(p);
    const mode_t mode = mode_;
    mode_ = mode_t::idle;
    long w = 0, h = 0;
    if (!frame_size(&w, &h)) {
        commit_outline_edit();
        return;
    }
    switch (mode) {
    case mode_t::stroke:
        if (auto outline = finish_stroke(std::move(stroke_), draw_tolerances_from_session(false), w, h)) {
            (*objects())[current_object()].insert(static_cast<std::int32_t>(current_frame()), std::move(*outline));
        }
        commit_outline_edit();  // also drops the set a press made for a stroke that came to nothing
        break;
    case mode_t::move:
        if (moved_) {
            if (contour_set* set = current_outlines(false); set && picked_.contour < set->contours.size())
                set->contours[picked_.contour].update_concave();
            commit_outline_edit();
        } else {
            click_on_contour(p);
        }
        break;
    case mode_t::group:
        group_operation();
        break;
    default:
        commit_outline_edit();
        break;
    }
    stroke_ = contour{};
}

void draw_tool_t::cancel()
{
    mode_ = mode_t::idle;
    stroke_ = contour{};
}

std::optional<std::pair<vertex2d, vertex2d>> draw_tool_t::group_box() const
{
    if (mode_ != mode_t::group)
        return std::nullopt;
    return std::pair{from_, last_};
}

bool draw_tool_t::segment_at(const vertex2d& p)
{
    long w = 0, h = 0;
    if (!segmenter_ || !frame_size(&w, &h)) {
        commit_outline_edit();
        return false;
    }
    const long x = std::lround(p.x), y = std::lround(p.y);
    // A click beside the frame has no seed: nothing is segmented.
    if (x < 0 || y < 0 || x >= w || y >= h) {
        commit_outline_edit();
        return false;
    }
    const auto found = segmenter_(current_frame(), x, y);
    const double simplify = draw_tolerances_from_session(true).simplify;
    contour_object& o = (*objects())[current_object()];
    bool added = false;
    if (found)
        for (const contour_set& set : *found) {
            const cip_t image = bufp->imagecp(set.frame);
            for (const contour& c : set.contours)
                if (auto outline = tidy_outline(c, simplify, image.width(), image.height()))
                    added = o.insert(set.frame, std::move(*outline)) || added;
        }
    commit_outline_edit();  // a cancelled run changes nothing
    return added;
}

void draw_tool_t::click_on_contour(const vertex2d& p)
{
    contour_set* set = current_outlines(false);
    if (!set)
        return;
    const double d = draw_tolerances_from_session(false).pick;
    contour_set trial = *set;
    if (merge_contours(trial, p, d)) {
        if (interaction().ask("Contour merge", "Merge contours at this point ?", question_t::yes_no, answer_t::no) ==
            answer_t::yes) {
            *set = std::move(trial);
            commit_outline_edit();
        }
        return;
    }
    trial = *set;
    if (split_contour(trial, picked_, d) &&
        interaction().ask("Contour split", "Split the contour at this point ?", question_t::yes_no, answer_t::no) ==
            answer_t::yes) {
        *set = std::move(trial);
        commit_outline_edit();
    }
}

void draw_tool_t::group_operation()
{
    object_table* table = objects();
    if (!table)
        return;
    // The box takes in outlines of every object on the frame.
    const auto frame = static_cast<std::int32_t>(current_frame());
    struct chosen_t {
        int object;
        std::vector<std::size_t> contours;
    };
    std::vector<chosen_t> chosen;
    std::size_t count = 0;  // chosen outlines
    for (int i = 0; i < object_table::size; ++i)
        if (contour_set* set = (*table)[i].find_set(frame)) {
            auto inside = contours_in_box(*set, from_, last_);
            count += inside.size();
            if (!inside.empty())
                chosen.push_back({i, std::move(inside)});
        }
    if (count == 0)
        return;
    // The outlines not inside another chosen one: with a single such outline
    // the box has picked one outline and what lies inside it.
    std::vector<const contour*> outermost;
    for (const chosen_t& c : chosen)
        for (std::size_t k : c.contours) {
            const contour& candidate = (*table)[c.object].find_set(frame)->contours[k];
            bool nested = false;
            for (const chosen_t& o : chosen)
                for (std::size_t m : o.contours) {
                    const contour& other = (*table)[o.object].find_set(frame)->contours[m];
                    nested = nested || (&other != &candidate && contour_inside(candidate, other));
                }
            if (!nested)
                outermost.push_back(&candidate);
        }
    const int target = current_object();
    std::vector<wxString> choices = {"Permanently delete them", "Remove highlighted concavities in selected contours",
                                     wxString::Format("Re-assign them all to %s", (*table)[target].name)};
    if (outermost.size() == 1)
        choices.push_back("Delete all contours inside the selected contour");
    const auto answer =
        interaction().ask_choice("Contour group operation", "What do you want to do with these contours?", choices);
    if (!answer)
        return;
    if (*answer == 3 && outermost.size() == 1) {
        const contour outer = *outermost.front();
        for (int i = 0; i < object_table::size; ++i)
            if (contour_set* set = (*table)[i].find_set(frame)) {
                std::vector<std::size_t> inner;
                for (std::size_t k = 0; k < set->contours.size(); ++k)
                    if (!(set->contours[k].points == outer.points) && contour_inside(set->contours[k], outer))
                        inner.push_back(k);
                delete_contours(*set, inner);
            }
    } else {
        for (const chosen_t& c : chosen) {
            contour_set& set = *(*table)[c.object].find_set(frame);
            if (*answer == 0) {
                delete_contours(set, c.contours);
            } else if (*answer == 1) {
                for (std::size_t k : c.contours)
                    remove_highlighted_concavities(set.contours[k]);
                set.area = -1.0;
            } else if (*answer == 2 && c.object != target) {
                std::vector<contour> moving;
                for (std::size_t k : c.contours)
                    moving.push_back(set.contours[k]);
                delete_contours(set, c.contours);
                for (contour& m : moving)
                    (*table)[target].insert(frame, std::move(m));
            }
        }
    }
    commit_outline_edit();
}

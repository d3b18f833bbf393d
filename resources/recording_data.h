// What a recording holds besides its frames: outlines grouped into objects,
// curves drawn on surfaces, landmarks and fiducials, and sweep boundaries.
// Plain data (the outline model itself is in segmentation/); the recording
// file reads and writes them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <wx/string.h>

#include "common/vertex.h"
#include "segmentation/outline_model.h"

// The recording's fixed table of objects.
class object_table {
public:
    static constexpr int size = 200;
    object_table();  // every object blank with its default name and colour

    contour_object& operator[](int i) { return objects_[static_cast<std::size_t>(i)]; }
    const contour_object& operator[](int i) const { return objects_[static_cast<std::size_t>(i)]; }
    static wxString default_name(int i);
    static rgb_t default_colour(int i);
    void reset(int i);

    // Every object blank, with its default name and colour.
    void blank_all();
    // Keeps outlines on the frames whose flag is set and renumbers them to the kept frames.
    void keep_frames(const std::vector<char>& keep);

private:
    std::array<contour_object, size> objects_;
};

// A curve drawn on a surface, in world coordinates.
struct curve_t {
    std::int32_t object = 0;
    bool closed = false;
    std::vector<vertex3d> points;
    wxString name;
};

struct curve_set {
    std::vector<curve_t> curves;
};

enum lmark_t : std::int32_t { LMARK_3D = 0, LMARK_FIDUCIAL = 1, LMARK_2D = 2, LMARK_SURFACE = 3, LMARK_SPINE = 4 };

struct landmark_t {
    vertex3d position;  // world cm; in-frame position for a 2D landmark
    vertex3d normal;    // surface landmarks
    wxString name;
    lmark_t kind = LMARK_3D;
    std::int32_t index = 0;  // frame (2D) or object (surface)
    std::int32_t spine_landmark = 0;
    std::int32_t vertebra = 0;
};

struct landmarks {
    std::vector<landmark_t> list;
};

// Sweep boundaries of a multi-sweep recording: the first frame of each sweep.
struct multi_sweeps {
    std::vector<long> first_frames;
};

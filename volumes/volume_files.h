// Volumes in MetaImage (.mha, .mhd with its data file) and NRRD (.nrrd)
// form: 16-bit voxels, raw or compressed, with their spacing, origin and
// axes. Headers are untrusted: sizes must be positive and match the data,
// spacings positive and finite, data files plain names beside the header.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <wx/string.h>

struct volume_t {
    long width = 0, height = 0, depth = 0;
    std::array<double, 3> spacing_mm{1, 1, 1};  // along the three axes
    std::array<double, 3> origin_mm{0, 0, 0};   // of voxel (0, 0, 0), in DICOM's patient frame (LPS)
    // The axes' unit directions in that frame: x, y, z of each.
    std::array<double, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};
    // Kept values (signed ones with 32768 added) and their Hounsfield rescale.
    std::vector<std::uint16_t> voxels;
    double slope = 1.0, intercept = 0.0;
    std::vector<wxString> warnings;
};

// A volume header by its extension: .mha, .mhd, .nrrd, .nhdr or .hdr (any case), not a folder.
bool is_volume_file(const wxString& path);
// The reader its extension names.
bool read_volume_file(const wxString& path, volume_t* volume, wxString* why);

bool read_metaimage(const wxString& path, volume_t* volume, wxString* why);
bool read_nrrd(const wxString& path, volume_t* volume, wxString* why);
// Analyze 7.5: the 348-byte .hdr (little endian) and its .img beside it.
// 8-bit unsigned or 16-bit signed voxels; slices stacked along z from the
// origin, which the format does not give.
bool read_analyze(const wxString& path, volume_t* volume, wxString* why);

// Where slice k (the k-th of the third axis) lies: x, y, z (cm), azimuth,
// elevation, roll (degrees), as a DICOM slice's pose.
std::array<double, 6> volume_slice_pose(const volume_t& volume, long k);

// The volume's slices as 16-bit frames. False when memory runs out.
struct slice_stack_t;
bool volume_slices(const volume_t& volume, slice_stack_t* stack, wxString* why);

// Volumes larger than this many voxels are refused before any allocation.
inline constexpr std::uint64_t volume_max_voxels = std::uint64_t(1) << 31;

// Volumes written for other programs: NRRD (.nrrd, raw or gzip-encoded),
// MetaImage (.mha: header and data in one file) and NIfTI-1 (.nii, .nii.gz).
// The slices go out one at a time, so a large volume is never held whole.
//
// Positions are millimetres in the frame the readers beside this file use:
// DICOM's patient frame, LPS (x towards the patient's left, y posterior,
// z superior), which is this program's world frame times ten. NRRD and
// MetaImage say LPS; NIfTI is RAS by definition, so its qform and sform are
// the same placement with x and y negated.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include <wx/string.h>

#include "resources/safe_file.h"

enum class volume_file_type_t { nrrd, metaimage, nifti };
enum class volume_voxel_t { uint8, int16 };

struct volume_file_header_t {
    volume_file_type_t type = volume_file_type_t::nrrd;
    bool gzip = false;  // NRRD's gzip encoding, or the whole .nii.gz file
    volume_voxel_t voxel = volume_voxel_t::uint8;
    long width = 0, height = 0, depth = 0;
    std::array<double, 3> spacing_mm{1, 1, 1};
    std::array<double, 3> origin_mm{0, 0, 0};  // centre of voxel (0, 0, 0), LPS
    // Unit directions of the three axes in LPS: x, y, z of each.
    std::array<double, 9> axes{1, 0, 0, 0, 1, 0, 0, 0, 1};
    wxString description;  // one line, kept in the header as a comment
};

// The type a name asks for, by its ending (any case): .nrrd, .mha, .nii or
// .nii.gz (*gzip set for the last); none for any other name.
std::optional<volume_file_type_t> volume_file_type_for(const wxString& path, bool* gzip);

// The centre of voxel (i, j, k) in LPS mm.
std::array<double, 3> volume_voxel_position(const volume_file_header_t& header, double i, double j, double k);

class deflate_writer_t;

// One volume file, written beside its target and renamed into place by
// commit(): a failure at any point leaves an existing file as it was.
class volume_file_writer_t {
public:
    // Checks the header (sizes, spacing, axes; what the format can hold) and
    // writes it; ok() is false, with the reason logged, when either fails.
    volume_file_writer_t(const wxString& path, const volume_file_header_t& header);
    ~volume_file_writer_t();
    volume_file_writer_t(const volume_file_writer_t&) = delete;
    volume_file_writer_t& operator=(const volume_file_writer_t&) = delete;

    bool ok() const { return ok_; }
    // The next slice, width x height voxels with x fastest, of the header's type.
    bool write_slice(const std::uint8_t* voxels);
    bool write_slice(const std::int16_t* voxels);
    // False (logged) unless every slice was written and the file is in place.
    bool commit();

private:
    bool check_header();
    bool write_header();
    bool put(const void* data, std::size_t length);
    bool next_slice(volume_voxel_t type);

    volume_file_header_t header_;
    safe_file_t file_;
    std::unique_ptr<deflate_writer_t> gzip_;
    long slices_written_ = 0;
    bool ok_ = false;
};

// The files of a statistical shape model: the binary ".ssm" file that holds
// its mean, eigenvalues and modes, and the "FIT_MODEL_LM" comments of the
// model's PLY surface that name some of its vertices as landmarks. The model
// files come from elsewhere, so every size is checked before it is trusted.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <wx/string.h>

// The ".ssm" layout, little-endian:
//   int32 V (variables, 3 per surface vertex: x, y, z in turn), int32 M (modes),
//   V float32 mean, M float32 eigenvalues, V x M float32 basis (for each
//   variable in turn its M mode components).
// A file is usable only when 2 <= M <= V, V is 3 times the surface's vertices,
// its size is exactly 8 + 4V + 4M + 4VM bytes and every value is finite.
struct ssm_t {
    std::int32_t variables = 0;
    std::int32_t modes = 0;
    std::vector<float> mean;         // variables
    std::vector<float> eigenvalues;  // modes
    std::vector<float> basis;        // variables x modes, row by row

    float component(std::size_t variable, std::size_t mode) const
    {
        return basis[variable * static_cast<std::size_t>(modes) + mode];
    }
};

// The size a file of V variables and M modes must have; 0 when it would not
// fit in 64 bits (or either count is negative).
std::uint64_t ssm_file_size(std::int64_t variables, std::int64_t modes);

// Reads a model for a surface of `vertices` vertices. False, with one of the
// messages "Could not read number of variables from SSM file", "Number of
// SSM variables does not match surface", "Could not read the number of modes
// from SSM file", "Need at least two SSM modes" or "Could not read SSM mean,
// eigenvalues and basis vectors" logged as an error (and the details after it).
bool read_ssm(std::span<const std::uint8_t> bytes, std::size_t vertices, ssm_t* out);
// The same from a file, whose size is checked before its values are read.
bool read_ssm_file(const wxString& path, std::size_t vertices, ssm_t* out);
// Writes through a temporary file; false, with the reason logged, on failure.
bool write_ssm_file(const wxString& path, const ssm_t& model);

// A named vertex of the model surface.
struct ssm_landmark_t {
    wxString name;
    std::uint32_t vertex = 0;
};

// The comment (without the PLY "comment " prefix) naming a model landmark:
//   FIT_MODEL_LM "name" vertex_index
// The name is quoted so that it may hold blanks (spine landmarks do); a
// name without quotes is one word. Control characters become blanks.
std::string fit_model_landmark_comment(const ssm_landmark_t& mark);
// The model landmarks among a PLY file's comment lines, other comments
// ignored. False, with the reason logged, for a malformed FIT_MODEL_LM line,
// a name that is not UTF-8 text, a vertex index not below `vertices`, or a
// name given twice.
bool read_fit_model_landmarks(const std::vector<std::string>& comments, std::size_t vertices,
                              std::vector<ssm_landmark_t>* out);

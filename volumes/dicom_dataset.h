// Reading a DICOM file's data set: the elements of its top level, with the
// items of its sequences, and where its pixel data lie (native, or the
// fragments of encapsulated data). Files are untrusted: every length is
// checked against the bytes left, nesting and inflation are capped, and a
// refusal says why. Values stay where they are in the file's bytes (or in
// the inflated copy of a deflated data set).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <wx/string.h>

constexpr std::uint32_t dicom_tag(std::uint16_t group, std::uint16_t element)
{
    return (std::uint32_t(group) << 16) | element;
}

struct dicom_element_t;
using dicom_items_t = std::map<std::uint32_t, dicom_element_t>;

struct dicom_element_t {
    std::uint32_t tag = 0;
    char vr[2] = {'U', 'N'};  // as written, or from the dictionary for implicit VR
    std::span<const std::uint8_t> value;
    std::vector<dicom_items_t> items;  // a sequence's items, in order
};

struct dicom_dataset_t {
    std::string transfer_syntax;  // (0002,0010), trailing padding removed
    bool big_endian = false;
    bool explicit_vr = true;
    bool has_meta = false;   // a file meta group was found
    dicom_items_t elements;  // the top level (the meta group's too)
    // Pixel data: native bytes, or the fragments of encapsulated data (the
    // basic offset table left out).
    bool encapsulated = false;
    std::span<const std::uint8_t> native_pixels;
    std::vector<std::span<const std::uint8_t>> fragments;
    std::shared_ptr<const std::vector<std::uint8_t>> inflated;  // holds a deflated data set's bytes
    // Read by parse_dicom_header: the pixel data were not read (a native
    // length is known and fits the file).
    bool pixels_left_out = false;
    std::uint64_t native_length = 0;

    // Each looks in `scope` (a sequence item) when given, else at the top level.
    const dicom_element_t* find(std::uint32_t tag, const dicom_items_t* scope = nullptr) const;
    // A text value with its padding removed and cut to 1024 bytes.
    std::optional<std::string> text(std::uint32_t tag, const dicom_items_t* scope = nullptr) const;
    // Decimal or integer strings (DS, IS) split at backslashes; empty when any
    // part is not a finite number.
    std::vector<double> numbers(std::uint32_t tag, const dicom_items_t* scope = nullptr) const;
    // The first binary value of a US, SS, UL or SL element, in the file's byte order.
    std::optional<std::int64_t> integer(std::uint32_t tag) const;
};

// Parses a whole file. False, with the reason, for anything that is not a
// readable DICOM data set.
bool parse_dicom(std::span<const std::uint8_t> bytes, dicom_dataset_t* out, wxString* why);

// The header of a file of `file_size` bytes from its first bytes: elements
// up to the top-level pixel data, which are left out. False also when the
// bytes end before the pixel data (read the whole file then).
bool parse_dicom_header(std::span<const std::uint8_t> prefix, std::uint64_t file_size, dicom_dataset_t* out,
                        wxString* why);

// Limits on what an untrusted file can make us do.
inline constexpr int dicom_max_nesting = 12;
inline constexpr std::size_t dicom_max_inflated = std::size_t(1) << 31;

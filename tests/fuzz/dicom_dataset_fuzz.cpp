// libFuzzer harness: the DICOM data-set walker, image attributes, slice pose
// and pixel decoding (native and RLE) on arbitrary bytes: no crash, no read outside the
// input, every value span inside the bytes (or the inflated copy), a refusal
// with a reason, finite poses.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <wx/init.h>
#include <wx/log.h>

#include "volumes/dicom_dataset.h"
#include "volumes/dicom_image.h"

namespace {

bool inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole)
{
    return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void check_spans(const dicom_items_t& items, std::span<const std::uint8_t> whole)
{
    for (const auto& [tag, e] : items) {
        if (!inside(e.value, whole))
            std::abort();
        for (const dicom_items_t& item : e.items)
            check_spans(item, whole);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    const std::span<const std::uint8_t> bytes(data, size);
    dicom_dataset_t ds;
    wxString why;
    if (!parse_dicom(bytes, &ds, &why)) {
        if (why.empty())
            std::abort();
        return 0;
    }
    const std::span<const std::uint8_t> whole = ds.inflated ? std::span<const std::uint8_t>(*ds.inflated) : bytes;
    if (!ds.inflated)
        check_spans(ds.elements, whole);
    dicom_image_t im;
    if (!read_dicom_image(ds, &im, &why))
        return 0;
    for (long f : {0L, im.frames - 1}) {
        for (double v : dicom_slice_pose(im, f))
            if (!std::isfinite(v))
                std::abort();
        std::vector<std::uint16_t> px;
        // Sizes are checked against the data before anything is allocated.
        decode_frame(ds, im, f, &px, &why);
    }
    return 0;
}

// A shared image: 8-bit display pixels, and for RF or DICOM frames the 16-bit
// samples they were computed from. Copies share the buffers; nothing is copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class cip_t {
public:
    cip_t() = default;

    // Both return an empty image when the size is not positive, overflows, or
    // cannot be allocated: sizes often come from untrusted files.
    static cip_t make_8bit(long width, long height);
    static cip_t make_16bit(long width, long height);
    // Samples and pixels left unset, for a caller that writes every one of
    // them (large volumes: each buffer is touched once, not twice).
    static cip_t make_16bit_for_overwrite(long width, long height);
    static cip_t make_8bit_for_overwrite(long width, long height);

    bool empty() const { return !data_; }
    explicit operator bool() const { return !empty(); }
    long width() const { return data_ ? data_->width : 0; }
    long height() const { return data_ ? data_->height : 0; }
    std::size_t pixel_count() const { return data_ ? data_->count : 0; }
    long use_count() const { return data_.use_count(); }

    std::uint8_t* pixels() const { return data_ ? data_->pixels.get() : nullptr; }
    bool has_samples() const { return data_ && data_->samples; }
    std::uint16_t* samples() const { return data_ ? data_->samples.get() : nullptr; }
    // RF samples are signed; the same storage seen as int16.
    std::int16_t* signed_samples() const { return reinterpret_cast<std::int16_t*>(samples()); }

    bool operator==(const cip_t& o) const { return data_ == o.data_; }

private:
    struct image_data {
        long width = 0, height = 0;
        std::size_t count = 0;
        std::unique_ptr<std::uint8_t[]> pixels;
        std::unique_ptr<std::uint16_t[]> samples;
    };
    static cip_t make(long width, long height, bool with_samples, bool zeroed = true);
    std::shared_ptr<image_data> data_;
};

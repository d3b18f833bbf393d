// libFuzzer harness: a capture device that reports any frame geometry, row
// padding, buffer count and filled length, under any recording window and
// colour-flow setting, with any pixels, must be refused or captured cleanly,
// never read outside its buffers.
#include <cstdint>
#include <cstring>
#include <string>

#include "acquisition/ks_v4l2_buffer.h"
#include "fuzz_session.h"
#include "resources/resource_table.h"
#include "simulators/fake_v4l2_device.h"

namespace {

// Reads the fields of one case from the front of the input, then the pixels.
class input_reader_t {
public:
    input_reader_t(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    long number(long low, long high)
    {
        std::uint16_t v = 0;
        for (int k = 0; k < 2 && at_ < size_; ++k)
            v = static_cast<std::uint16_t>((v << 8) | data_[at_++]);
        return low + static_cast<long>(v % static_cast<std::uint16_t>(high - low + 1));
    }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::size_t left() const { return size_ - at_; }

private:
    const std::uint8_t* data_;
    std::size_t size_, at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_session_t env;
    input_reader_t in(data, size);
    fake_v4l2_settings_t s;
    s.max_width = in.number(1, 2000);
    s.max_height = in.number(1, 2000);
    s.grant_width = in.number(0, 2000);
    s.grant_height = in.number(0, 2000);
    s.row_padding = in.number(0, 300);
    s.max_buffers = static_cast<unsigned>(in.number(0, 6));
    s.short_by = in.number(0, 70000) * (in.byte() & 1);
    s.monotonic = in.byte() & 1;
    s.standards.clear();
    fake_v4l2_device_t fake({s});
    res->RES_BUF_WIDTH->write(in.number(-5, 2100));
    res->RES_BUF_HEIGHT->write(in.number(-5, 2100));
    res->RES_VID_XPOS->write(in.number(-5, 2100));
    res->RES_VID_YPOS->write(in.number(-5, 2100));
    res->RES_BUF_DOPPLER->write(in.byte() & 1);
    res->RES_VID_GREY_THRESH->write(in.number(-300, 300));
    res->RES_VID_CHROMA_THRESH->write(in.number(-300, 300));
    res->RES_VID_RATE->write(in.number(-5, 30));
    std::uint64_t now = 1000000000;
    ks_v4l2_buffer capture({[&now] { return now; }, [](std::int64_t t) { return std::uint64_t(t); }}, &fake);
    res->RES_VID_CARD_LIST->write(std::make_shared<std::vector<vid_card_list_t>>(capture.devices()));
    res->RES_VID_CARD->write(0);
    if (capture.start_v4l2_buffer()) {
        std::string pixels;
        while (in.left() > 0 && pixels.size() < 4096)
            pixels.push_back(static_cast<char>(in.byte()));
        for (int k = 0; k < 4; ++k) {
            fake.deliver(now - 60 * 10000, [&pixels](const yuv420_layout_t& l, std::uint8_t* out) {
                const std::size_t bytes = l.frame_bytes();
                for (std::size_t i = 0; i < bytes && !pixels.empty(); ++i)
                    out[i] = static_cast<std::uint8_t>(pixels[i % pixels.size()]);
            });
            capture.activ_v4l2_buffer();
            now += 20 * 10000;
        }
        capture.stop_v4l2_buffer();
    }
    return 0;
}

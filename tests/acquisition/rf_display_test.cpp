// RF recordings as the user sees them: opened through the probe they name,
// shown as envelope or phase, blended frame to frame, left unfiltered (with
// the reason) when their probe cannot be found, and with dual display the
// second image beside each frame.
#include <wx/filename.h>

#include <gtest/gtest.h>

#include "acquisition/gage_buffer.h"
#include "acquisition/rf_display.h"
#include "resources/recording_fixture.h"
#include "rf_reference.h"

namespace {

constexpr long samples = 200, vectors = 3;

class RfDisplay : public RecordingTest {
protected:
    std::unique_ptr<rf_display_service_t> service;
    rf_reference::quadrature_t q = rf_reference::gaussian_pair(32, 0.1, 4.0);
    std::vector<std::vector<std::int16_t>> frames;

    void SetUp() override
    {
        RecordingTest::SetUp();
        service = std::make_unique<rf_display_service_t>(dir);
        ASSERT_TRUE(wxFileName::Mkdir(path("rec")));
    }
    void TearDown() override
    {
        service.reset();
        RecordingTest::TearDown();
    }

    // Vector 0 a tone at the filter's centre, vector 1 one far from it, vector 2 a ramp; frame k is k+1 times louder.
    void record(const std::string& probe_name, long frame_count, long persist)
    {
        set_up_rf(samples, vectors);
        res->RES_RF_PROBE_NAME->write(probe_name);
        res->RES_RF_PERSIST->write(persist);
        for (long k = 0; k < frame_count; ++k) {
            const cip_t im = cip_t::make_16bit(vectors, samples);
            std::vector<std::int16_t> x(static_cast<std::size_t>(vectors * samples));
            for (long n = 0; n < samples; ++n) {
                const double a = 40.0 * static_cast<double>(k + 1);
                x[static_cast<std::size_t>(n)] = static_cast<std::int16_t>(std::lround(a * std::cos(0.2 * M_PI * n)));
                x[static_cast<std::size_t>(samples + n)] = static_cast<std::int16_t>(std::lround(a * std::cos(0.6 * M_PI * n)));
                x[static_cast<std::size_t>(2 * samples + n)] = static_cast<std::int16_t>(n * 100 - 10000);
            }
            std::copy(x.begin(), x.end(), im.signed_samples());
            bufp->append(im, {}, static_cast<std::uint64_t>(k + 1));
            frames.push_back(x);
        }
        recording_io->frames_changed();
        ASSERT_TRUE(recording_io->save_as(path("rec/rf.ks")));
        recording_io->new_recording();
        ASSERT_TRUE(recording_io->try_read_kestrane_file(path("rec/rf.ks")));
    }

    // The reference pixel of frame k, vector v, sample j without persistence.
    int reference(long k, long v, long j, bool phase) const
    {
        const std::int16_t* x = frames[static_cast<std::size_t>(k)].data() + v * samples;
        const double i = rf_reference::filtered(q.real, q.half, x, samples, j);
        const double qq = rf_reference::filtered(q.imag, q.half, x, samples, j);
        return phase ? rf_reference::phase(i, qq) : rf_reference::envelope(i, qq);
    }
    int pixel(long k, long v, long j) const { return bufp->imagecp(k).pixels()[j * vectors + v]; }
};

// Opened from the settings folder's probe file, a tone at the centre frequency shows a flat envelope.
TEST_F(RfDisplay, RecordingOpensAsEnvelopeOfItsProbe)
{
    write_file("probe_tone.cfg", rf_reference::probe_text("tone", q));
    record("tone", 1, 0);
    for (long v = 0; v < vectors; ++v)
        for (long j = 0; j < samples; ++j)
            ASSERT_NEAR(pixel(0, v, j), reference(0, v, j, false), 1) << "vector " << v << ", sample " << j;
    int lo = 255, hi = 0;
    for (long j = 32; j < samples - 32; ++j) {
        lo = std::min(lo, pixel(0, 0, j));
        hi = std::max(hi, pixel(0, 0, j));
        ASSERT_LT(pixel(0, 1, j) + 40, pixel(0, 0, j)) << "a tone far from the centre is filtered out";
    }
    EXPECT_LE(hi - lo, 1) << "flat envelope";
    EXPECT_TRUE(lo > 30 && hi < 250) << lo << " " << hi << ": neither clamped nor saturated";
}

// The second frame blends in 12/256 of the first (persistence 1); switching to phase filters every frame again.
TEST_F(RfDisplay, PersistenceBlendsFramesAndPhaseReplacesEnvelope)
{
    write_file("rec/probe_tone.cfg", rf_reference::probe_text("tone", q, "100M"));
    record("tone", 2, 1);
    for (long j = 0; j < samples; ++j)
        ASSERT_NEAR(pixel(1, 2, j), (reference(1, 2, j, false) * 244 + pixel(0, 2, j) * 12) >> 8, 1) << j;

    const long redraws = res->RES_CMAP_CHANGED->value();
    res->RES_RF_DISPLAY->write(rf_utility::display_phase);
    EXPECT_GT(res->RES_CMAP_CHANGED->value(), redraws) << "the views must upload the new images";
    for (long v = 0; v < vectors; ++v)
        for (long j = 0; j < samples; ++j)
            ASSERT_NEAR(pixel(0, v, j), reference(0, v, j, true), 1) << "vector " << v << ", sample " << j;
}

// RES_RF_FILTER picks the band: the second band, centred on vector 1's tone, passes it and stops vector 0's.
TEST_F(RfDisplay, FilterBandChoosesTheTaps)
{
    const rf_reference::quadrature_t high = rf_reference::gaussian_pair(32, 0.3, 4.0);
    std::string text = rf_reference::probe_text("bands", q);
    text.replace(text.find("PROBE_FILTERS 1"), 15, "PROBE_FILTERS 2");
    const std::size_t imag = text.find("PROBE_50M_IMAG_FILTER");
    text.insert(imag, rf_reference::taps_text(high.real) + "\n");
    text += rf_reference::taps_text(high.imag) + "\n";
    write_file("probe_bands.cfg", text);
    record("bands", 1, 0);
    EXPECT_GT(pixel(0, 0, samples / 2), pixel(0, 1, samples / 2) + 40);
    res->RES_RF_FILTER->write(2);
    EXPECT_GT(pixel(0, 1, samples / 2), pixel(0, 0, samples / 2) + 40);
}

// Without its probe file a recording still opens, unfiltered with its own settings, and each opening says once
// which probe is missing; moving a display setting filters again without saying it again.
TEST_F(RfDisplay, MissingProbeKeepsUnfilteredDisplay)
{
    log_capture log;
    auto told = [&log] {
        std::size_t n = 0;
        for (const auto& r : log.records())
            n += r.text == "Configuration file not found for probe 'absent'.";
        return n;
    };
    auto expect_range = [this](double mult) {
        for (long v = 0; v < vectors; ++v)
            for (long j = 0; j < samples; ++j)
                ASSERT_NEAR(pixel(1, v, j), rf_reference::envelope(frames[1][v * samples + j], 0, mult), 1) << mult;
    };
    res->RES_RF_LOG_MULT->write(40);
    record("absent", 2, 0);
    expect_range(40);
    res->RES_RF_LOG_MULT->write(50);
    expect_range(50);
    EXPECT_EQ(told(), 1u);
    ASSERT_TRUE(recording_io->try_read_kestrane_file(path("rec/rf.ks")));  // 50 in force, the file says 40
    expect_range(40);
    EXPECT_EQ(told(), 2u);
}

// A live frame's kept part comes from the offsets; a part outside the frame is refused, naming the setting.
TEST_F(RfDisplay, LiveWindowFollowsOffsets)
{
    write_file("probe_tone.cfg", rf_reference::probe_text("tone", q));
    res->RES_RF_PROBE_NAME->write("tone");
    res->RES_RF_PERSIST->write(0);
    const long full_vectors = 5, full_samples = 300;
    std::vector<std::int16_t> source(full_vectors * full_samples);
    for (std::size_t n = 0; n < source.size(); ++n)
        source[n] = static_cast<std::int16_t>((n * 7919) % 20000 - 10000);
    res->RES_RF_VECTORS->write(3);
    res->RES_RF_SAMPLES->write(200);
    res->RES_RF_VECTOR_OFFSET->write(2);
    res->RES_RF_SAMPLE_OFFSET->write(100);
    const cip_t target = cip_t::make_8bit(3, 200);
    ASSERT_TRUE(service->show_window({source.data(), full_vectors, full_samples}, target, 0));
    for (long v = 0; v < 3; ++v)
        for (long j = 0; j < 200; ++j) {
            const std::int16_t* x = source.data() + (v + 2) * full_samples;
            const double i = rf_reference::filtered(q.real, q.half, x, full_samples, j + 100);
            const double qq = rf_reference::filtered(q.imag, q.half, x, full_samples, j + 100);
            ASSERT_NEAR(target.pixels()[j * 3 + v], rf_reference::envelope(i, qq), 1);
        }
    log_capture log;
    res->RES_RF_SAMPLE_OFFSET->write(101);
    EXPECT_FALSE(service->show_window({source.data(), full_vectors, full_samples}, target, 1));
    EXPECT_FALSE(service->show_window({source.data(), full_vectors, full_samples}, target, 2));
    EXPECT_EQ(log.count(wxLOG_Error), 1u) << "said once, not for every live frame";
    EXPECT_TRUE(log.contains("RES_RF_SAMPLE_OFFSET", wxLOG_Error));
}

// Dual display: beside an envelope frame its phase, beside any other display its envelope, through the
// same probe; the frame's own image is left as it is.
TEST_F(RfDisplay, DualDisplayShowsTheOtherDisplayBesideTheFrame)
{
    write_file("probe_tone.cfg", rf_reference::probe_text("tone", q));
    record("tone", 2, 0);
    const cip_t f0 = bufp->imagecp(0);
    EXPECT_TRUE(service->companion(f0, 0, false).empty()) << "dual display is off";
    res->RES_RF_DUAL_DISPLAY->write(true);
    const std::vector<std::uint8_t> envelope(f0.pixels(), f0.pixels() + f0.pixel_count());
    const cip_t phase = service->companion(f0, 0, false);
    ASSERT_FALSE(phase.empty());
    ASSERT_EQ(phase.width(), vectors);
    ASSERT_EQ(phase.height(), samples);
    for (long v = 0; v < vectors; ++v)
        for (long j = 0; j < samples; ++j)
            ASSERT_NEAR(phase.pixels()[j * vectors + v], reference(0, v, j, true), 1) << v << " " << j;
    EXPECT_TRUE(std::equal(envelope.begin(), envelope.end(), f0.pixels())) << "the frame itself still shows its envelope";
    EXPECT_TRUE(service->companion(f0, 0, false) == phase) << "drawing the same frame again filters nothing";

    for (const long display : {rf_utility::display_phase, rf_utility::display_strain, rf_utility::display_attenuation}) {
        res->RES_RF_DISPLAY->write(display);
        const cip_t beside = service->companion(f0, 0, false);
        ASSERT_FALSE(beside.empty()) << display;
        EXPECT_TRUE(std::equal(envelope.begin(), envelope.end(), beside.pixels()))
            << "display " << display << ": the envelope is beside it";
    }
}

// The second image blends with persistence like the frames do, only between frames that follow one
// another, and never between a held frame and a live one.
TEST_F(RfDisplay, DualDisplayPersistenceFollowsTheFrames)
{
    write_file("probe_tone.cfg", rf_reference::probe_text("tone", q));
    record("tone", 3, 10);  // a heavy persistence, so that a wrong blend shows
    const int a = rf_utility::persistence_weight(10);
    res->RES_RF_DISPLAY->write(rf_utility::display_phase);  // the envelope goes beside
    res->RES_RF_DUAL_DISPLAY->write(true);
    const cip_t first = service->companion(bufp->imagecp(0), 0, false);
    ASSERT_FALSE(first.empty());
    const std::vector<std::uint8_t> c0(first.pixels(), first.pixels() + first.pixel_count());
    const cip_t second = service->companion(bufp->imagecp(1), 1, false);
    for (long v = 0; v < vectors; ++v)
        for (long j = 0; j < samples; ++j)
            ASSERT_NEAR(second.pixels()[j * vectors + v],
                        (reference(1, v, j, false) * (256 - a) + c0[static_cast<std::size_t>(j * vectors + v)] * a) >> 8, 1)
                << v << " " << j;
    // A jump, or a frame coming live next, starts afresh.
    struct step_t {
        long frame, number;
        bool live;
    };
    for (const auto& [frame, k, live] : {step_t{0, 0, false}, {2, 2, false}, {0, 3, true}}) {
        const cip_t c = service->companion(bufp->imagecp(frame), k, live);
        for (long v = 0; v < vectors; ++v)
            for (long j = 0; j < samples; ++j)
                ASSERT_NEAR(c.pixels()[j * vectors + v], reference(frame, v, j, false), 1)
                    << k << " " << live << " " << v << " " << j;
    }
}

// No second image without a usable probe, for frames without samples, or for held frames of a recording
// that is not RF (16-bit DICOM slices carry samples too).
TEST_F(RfDisplay, DualDisplayNeedsRfSamplesAndAProbe)
{
    record("absent", 1, 0);
    res->RES_RF_DUAL_DISPLAY->write(true);
    EXPECT_TRUE(service->companion(bufp->imagecp(0), 0, false).empty()) << "no probe file";
    write_file("probe_tone.cfg", rf_reference::probe_text("tone", q));
    res->RES_RF_PROBE_NAME->write("tone");
    res->RES_RF_NEW_PROBE->write();
    EXPECT_FALSE(service->companion(bufp->imagecp(0), 0, false).empty());
    EXPECT_TRUE(service->companion(cip_t::make_8bit(vectors, samples), 0, true).empty());
    EXPECT_TRUE(service->companion(cip_t{}, 0, true).empty());
    const cip_t held = bufp->imagecp(0);
    res->RES_BUF_RF->write(false);
    EXPECT_TRUE(service->companion(held, 0, false).empty());
    EXPECT_FALSE(service->companion(held, 1, true).empty()) << "live frames with samples come from RF sources";
}

// RES_RF_FREQ chooses the rate; a probe without filters for it uses the first rate it has.
TEST(RfRates, ChosenByFrequencyIndex)
{
    probe_t p;
    p.ext_freq_index = 5;
    for (const auto r : {sampling_rate_t::mhz100, sampling_rate_t::external})
        p.rate(r) = {0, {}, 1, 0, {1}, {1}};
    using enum sampling_rate_t;
    for (const auto& [freq, rate] : {std::pair{0L, mhz100}, {1L, mhz100}, {2L, mhz100}, {5L, external}, {-1L, mhz100}})
        EXPECT_EQ(rf_display_service_t::rate_in_use(p, freq), rate) << freq;
    EXPECT_FALSE(rf_display_service_t::rate_in_use(probe_t{}, 0).has_value());
}

// No driver fills the digitiser's table: no RF source, and the user's log is told once, not at every look.
TEST(GageBuffer, ListsNoSourceAndSaysSoOnce)
{
    log_capture log;
    gage_buffer gage;
    EXPECT_TRUE(gage.sources().empty());
    EXPECT_TRUE(gage.sources().empty());
    EXPECT_FALSE(gage.available());
    std::size_t told = 0;
    for (const auto& r : log.records())
        told += r.text == "No CompuScope boards found.\n";
    EXPECT_EQ(told, 1u);
}

}  // namespace

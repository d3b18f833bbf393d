// The binary pose records of the Polhemus and Ascension trackers, and the
// Ascension tool table: decoding stays inside the record and rejects
// anything that is not a finite pose.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/ascension_driver.h"
#include "acquisition/polhemus_driver.h"
#include "acquisition/tracker_records.h"

namespace {

std::vector<unsigned char> float_record(std::size_t length, std::size_t first, const float (&pose)[6])
{
    std::vector<unsigned char> r(length, ' ');
    for (int i = 0; i < 6; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &pose[i], 4);
        for (int b = 0; b < 4; ++b)
            r[first + 4 * i + b] = static_cast<unsigned char>(bits >> (8 * b));
    }
    return r;
}

const float sample_pose[6] = {1.5f, -2.25f, 30.0f, 45.0f, -10.5f, 179.0f};

TEST(PolhemusRecords, FastrakAcceptsOnlyWholeRecordsStartingZero)
{
    float pose[6];
    for (const std::size_t n : {28u, 29u, 30u}) {
        auto r = float_record(n, 3, sample_pose);
        r[0] = '0';
        ASSERT_EQ(decode_fastrak_record(r, pose), n == 29) << n << " bytes";
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pose[i], sample_pose[i]);
    auto r = float_record(29, 3, sample_pose);
    r[0] = '1';
    EXPECT_FALSE(decode_fastrak_record(r, pose));
    EXPECT_FALSE(decode_fastrak_record({}, pose));
}

TEST(PolhemusRecords, LibertyChecksHeaderAndRejectsNonFinite)
{
    auto r = float_record(34, 8, sample_pose);
    r[0] = 'P';
    r[1] = 'A';
    r[3] = 'P';
    r[4] = 0;
    float pose[6];
    ASSERT_TRUE(decode_liberty_record(r, pose));
    EXPECT_EQ(pose[5], 179.0f);
    r[0] = 'L';
    r[1] = 'Y';
    r[4] = ' ';
    EXPECT_TRUE(decode_liberty_record(r, pose));
    for (const auto& [at, bad] : {std::pair{4, 'E'}, std::pair{3, 'Q'}}) {  // error byte, command
        auto spoiled = r;
        spoiled[static_cast<std::size_t>(at)] = static_cast<unsigned char>(bad);
        EXPECT_FALSE(decode_liberty_record(spoiled, pose)) << at;
    }

    const float nan_pose[6] = {1, 2, std::numeric_limits<float>::quiet_NaN(), 4, 5, 6};
    auto nan_record = float_record(34, 8, nan_pose);
    std::copy(r.begin(), r.begin() + 8, nan_record.begin());
    pose[0] = -1.0f;
    EXPECT_FALSE(decode_liberty_record(nan_record, pose));
    EXPECT_EQ(pose[0], -1.0f) << "a rejected record must leave the pose alone";
    EXPECT_FALSE(decode_liberty_record(std::vector<unsigned char>(r.begin(), r.end() - 1), pose));
}

TEST(AscensionRecords, WordsScalesAndOffsetsInsideTheRecord)
{
    EXPECT_EQ(ascension_word(0x7F, 0x3F), 32764);
    EXPECT_EQ(ascension_word(0x00, 0x40), -32768);
    EXPECT_EQ(ascension_word(0xFF, 0xFF), -4) << "bit 7 of each byte is not data";

    std::vector<unsigned char> r(12, 0);
    r[0] = 0x7F | 0x80;  // phasing bit on the first byte
    r[1] = 0x3F;         // x = +32764 counts
    r[7] = 0x40;         // azimuth = -32768 counts
    float pose[6];
    ASSERT_TRUE(ascension_record_ok(r, 12));
    ASSERT_TRUE(decode_ascension_bird(r, 0, 36.0f, pose));
    EXPECT_NEAR(pose[0], 91.43, 0.01);
    EXPECT_NEAR(pose[3], -179.9955, 1e-3);
    EXPECT_FLOAT_EQ(pose[1], 0.0f);
    EXPECT_FALSE(decode_ascension_bird(r, 1, 72.0f, pose)) << "a single unit has no second bird";
    EXPECT_FALSE(ascension_record_ok(r, 13));
    r[0] &= 0x7F;
    EXPECT_FALSE(ascension_record_ok(r, 12)) << "no phasing bit";

    EXPECT_TRUE(decode_ascension_bird(std::vector<unsigned char>(26, 1), 1, 72.0f, pose));
    EXPECT_FALSE(decode_ascension_bird(std::vector<unsigned char>(24, 1), 1, 72.0f, pose));
}

TEST(AscensionTools, SelectionMapsToSensorsAndModelsToKinds)
{
    EXPECT_EQ(ascension_sensors_for(0, 0).count(), 1) << "no choice: the first sensor alone";
    auto s = ascension_sensors_for(7, 3);  // tool 2 relative to tool 3, pointer on tool 3
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.probe, 1);
    EXPECT_EQ(s.reference, 2);
    EXPECT_EQ(s.pointer, 2);
    EXPECT_EQ(s.count(), 3);
    s = ascension_sensors_for(16, 10);
    EXPECT_EQ(s.probe, 9);
    EXPECT_EQ(s.pointer, 3);
    EXPECT_FALSE(ascension_sensors_for(17, 0).valid);
    EXPECT_FALSE(ascension_sensors_for(-1, 0).valid);
    EXPECT_FALSE(ascension_sensors_for(1, 5).valid) << "a pointer cannot be a relative tool";

    const struct {
        const char* model;
        pos_detect_t kind;
        bool fits;
    } models[] = {{"6DERC     ", POS_DETECT_FLOCK, true},  {"6DFOB     ", POS_DETECT_MINI, false},
                  {"6DMB      ", POS_DETECT_MINI, true},   {"6DBOB     ", POS_DETECT_STAR, true},
                  {" LaserBird", POS_DETECT_LASER, true},  {"LaserBird ", POS_DETECT_LASER, true},
                  {"6DBOB     ", POS_DETECT_AUTO, true},   {"XYZ", POS_DETECT_AUTO, false},
                  {"6D", POS_DETECT_AUTO, false},          {"6DBOB", POS_DETECT_FASTRAK, false}};
    for (const auto& m : models)
        EXPECT_EQ(ascension_model_matches(m.model, m.kind), m.fits) << m.model << " " << m.kind;
}

TEST(TrackerStatus, ReportsSettingsOrSayUnexpected)
{
    std::string record = "21S00B" + std::string(47, ' ') + "\r\n";
    const wxString s = fastrak_driver_t::describe_status(record);
    EXPECT_TRUE(s.Contains(" Station number 1\n"));
    EXPECT_TRUE(s.Contains(" Units in centimetres\n"));
    record[4] = 'Z';
    EXPECT_EQ(fastrak_driver_t::describe_status(record), "Unexpected Fastrak status record.\n");
    EXPECT_EQ(liberty_driver_t::describe_status("garbage", true, true, false),
              "Unexpected Liberty/Patriot status record.\n");

    const unsigned word = 0x8000 | 0x1000 | (4 << 1);  // master, running, position/angle
    const wxString a = ascension_driver_t::describe_status(word, 20, 99, 72.0f, std::string("\xC0\x80", 2));
    EXPECT_TRUE(a.Contains(" Position/angle outputs selected.\n"));
    EXPECT_TRUE(a.Contains(" Maximum position is 72 inches.\n"));
    EXPECT_TRUE(a.Contains("(error code is 99)\n"));
    EXPECT_TRUE(a.Contains(" Sensor 1 is powered on.\n"));
    EXPECT_TRUE(a.Contains(" Sensor 2 found.\n"));
    EXPECT_FALSE(a.Contains(" Sensor 2 is powered on.\n"));
    EXPECT_EQ(ascension_driver_t::describe_status(0, 0, 0, 36.0f, {}), "Unexpected Flock status record.\n");
}

}  // namespace

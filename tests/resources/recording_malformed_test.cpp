// Untrusted recordings: every malformed file gives a clear error, leaves an
// empty data set and the user's settings as they were, and never becomes the
// file a later Save would overwrite.
#include "recording_fixture.h"
#include "resources/resource_table.h"

namespace {

class MalformedRecording : public RecordingTest {
protected:
    log_capture log;

    void SetUp() override
    {
        RecordingTest::SetUp();
        res->RES_XSCALE->write(0.02);  // the user's own setting, which no failed read may change
        res->RES_STRAIN_NOISE->write(0.3);
    }

    // The read fails with this error and leaves nothing behind.
    void expect_refused(const std::string& text, const wxString& message, const std::string& kvi = "")
    {
        write_file("bad.ks", text);
        if (!kvi.empty())
            write_file("bad.kvi", kvi);
        EXPECT_FALSE(recording_io->try_read_kestrane_file(path("bad.ks")));
        EXPECT_TRUE(log.contains(message, wxLOG_Error)) << "expected: " << message;
        EXPECT_EQ(bufp->frames(), 0);
        EXPECT_EQ(res->RES_BUF_FRAMES->value(), 0);
        EXPECT_EQ(res->RES_XSCALE->value(), 0.02);
        EXPECT_EQ(res->RES_STRAIN_NOISE->value(), 0.3);
        EXPECT_NE(res->RES_ASCII_FILENAME->value().GetFullName(), "bad.ks");
        log.clear();
    }

    static std::string frames_of(long n, long bytes) { return std::string(static_cast<std::size_t>(n * bytes), 'x'); }

    // An odd but valid file of 4 x 3 frames, with its image data file ok.kvi.
    void read_ok(const std::string& text, long frames)
    {
        write_file("ok.ks", text);
        write_file("ok.kvi", frames_of(frames, 12));
        ASSERT_TRUE(recording_io->try_read_kestrane_file(path("ok.ks")));
    }
};

TEST_F(MalformedRecording, MissingOrUnreadableFiles)
{
    EXPECT_FALSE(recording_io->try_read_kestrane_file(path("nothing-here.ks")));
    EXPECT_TRUE(log.contains("Error opening file for reading in.", wxLOG_Error));
    EXPECT_FALSE(recording_io->try_read_kestrane_file(dir));
    expect_refused(header(2) + "RES_BIN_IM_FILENAME missing.kvi\nIM 1 0 0 0 0 0 0\nIM 2 0 0 0 0 0 0\n",
                   "Error opening data file for reading in.");
}

TEST_F(MalformedRecording, TruncatedImageData)
{
    expect_refused(header(2) + "RES_BIN_IM_FILENAME bad.kvi\nIM 1 0 0 0 0 0 0\nIM 2 0 0 0 0 0 0\n",
                   "Failed to read binary data from binary file.", frames_of(2, 12).substr(1));
}

TEST_F(MalformedRecording, FrameCountDisagrees)
{
    // Three frames announced, two IM lines.
    expect_refused(header(3) + "RES_BIN_IM_FILENAME bad.kvi\nIM 1 0 0 0 0 0 0\nIM 2 0 0 0 0 0 0\n",
                   "Inconsistent frame count vs RES_BUF_FRAMES value when reading file.", frames_of(3, 12));
    // More IM lines than frames.
    expect_refused(header(1) + "RES_BIN_IM_FILENAME bad.kvi\nIM 1 0 0 0 0 0 0\nIM 2 0 0 0 0 0 0\n",
                   "Inconsistent frame count", frames_of(1, 12));
    // Frames without any image data line.
    expect_refused(header(2) + "IM 1 0 0 0 0 0 0\nIM 2 0 0 0 0 0 0\n", "Inconsistent frame count");
}

// Without positions only the images are counted, and missing time stamps are not read past.
TEST_F(MalformedRecording, WithoutPositionsOnlyImagesAreCounted)
{
    read_ok(header(3, 4, 3, false) + "RES_BIN_IM_FILENAME ok.kvi\nIM 5\n", 3);
    EXPECT_EQ(bufp->frames(), 3);
    EXPECT_EQ(bufp->timestamp(0), 5u);
    EXPECT_EQ(bufp->timestamp(2), 0u);
}

TEST_F(MalformedRecording, HeaderProblems)
{
    expect_refused("RES_BUF_FRAMES 1\nRES_BUF_RF true\nRES_BUF_WIDTH 4\nRES_BUF_HEIGHT 3\nRES_RF_VECTORS 3\n"
                   "RES_END_HEADER\n",
                   "File specifies RF data, but either rf_samples or rf_vectors is missing.");
    expect_refused("RES_BUF_FRAMES 1\nRES_BUF_WIDTH 4\nRES_END_HEADER\n",
                   "File specifies image data, but either buf_width or buf_height is missing.");
    expect_refused("RES_BUF_FRAMES 1\nRES_BUF_DICOM true\nRES_BUF_HEIGHT 4\nRES_END_HEADER\n",
                   "File specifies DICOM data, but either buf_width or buf_height is missing.");
    expect_refused("RES_BUF_FRAMES 1\nRES_BUF_WIDTH 4\nRES_BUF_HEIGHT 3\n", "ends before its RES_END_HEADER");
    expect_refused("", "ends before its RES_END_HEADER");
    expect_refused(header(1) + "IM notanumber\n", "Problem reading timestamp in image IM line");
    expect_refused(header(1) + "IM\n", "Problem: not enough numbers reading timestamp information in image IM line");
    expect_refused("RES_BUF_WIDTH 4\nRES_BUF_HEIGHT 3\nRES_END_HEADER\nIM 5\n",
                   "Header of data file does not contain RES_BUF_FRAMES line but body contains IM lines.");
    expect_refused("RES_BUF_WIDTH 4\nRES_BUF_HEIGHT 3\nRES_END_HEADER\nCONT 0 0 1 1 1\n",
                   "does not contain RES_BUF_FRAMES line but body contains CONT lines");
}

// Sizes and counts from the file never reach an allocation unchecked.
TEST_F(MalformedRecording, AbsurdSizesAndCounts)
{
    expect_refused(header(1, 70000, 3), "outside 1 to 65535");
    expect_refused(header(1, 0, 3), "outside 1 to 65535");
    expect_refused(header(1, -4, 3), "outside 1 to 65535");
    expect_refused(header(-2), "Negative frame count");
    expect_refused(header(1000000000000L, 65535, 65535) + "RES_BIN_IM_FILENAME bad.kvi\n",
                   "Error: unable to allocate space for image data", "tiny");
    expect_refused("RES_BUF_FRAMES 99999999999999999999999\n", "Failed when reading RES_BUF_FRAMES");
}

// The image data file must lie beside the recording.
TEST_F(MalformedRecording, ImageDataNameWithAPath)
{
    write_file("elsewhere.kvi", frames_of(1, 12));
    for (const char* name : {"../elsewhere.kvi", "/etc/passwd", "sub/x.kvi", "..", "dir\\x.kvi"})
        expect_refused(header(1) + "RES_BIN_IM_FILENAME " + name + "\nIM 1 0 0 0 0 0 0\n", "must not name a folder");
    expect_refused(header(1) + "RES_BIN_IM_FILENAME   \n", "Problem: no file name in RES_BIN_IM_FILENAME line.");
}

TEST_F(MalformedRecording, BinaryGarbageAndHugeLines)
{
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 131) % 256);
    expect_refused(garbage, "ends before its RES_END_HEADER");
    expect_refused(header(0) + "RES_CAL_PROBE " + std::string(5000000, 'A') + "\n" + std::string(3000000, '\0') +
                       "\nRES_XSCALE 1e400\n",
                   "Failed when reading RES_XSCALE");
}

// Bad fields in data lines fail with their own message.
TEST_F(MalformedRecording, BadDataLineFields)
{
    const std::string base = header(1) + "RES_BIN_IM_FILENAME bad.kvi\nIM 1 0 0 0 0 0 0\n";
    const std::string kvi = frames_of(1, 12);
    expect_refused(base + "CONT x 0 1\n", "Problem reading object number in CONT line", kvi);
    expect_refused(base + "CONT 0 0 1 1.0\n", "Problem reading vertex in CONT line", kvi);
    expect_refused(base + "CONT 0 zero 1\n", "Problem reading frame number in CONT line", kvi);
    expect_refused(base + "OBJECT 1 1 255 0\n", "Problem reading colour in OBJECT line", kvi);
    expect_refused(base + "OBJECT 1 1 255 0 300 1.0 x\n", "Problem reading colour in OBJECT line", kvi);
    expect_refused(base + "LANDMARK 2D\n", "Problem reading frame in LANDMARK 2D line", kvi);
    expect_refused(base + "LANDMARK 1 2 3\n", "Problem reading name in LANDMARK line", kvi);
    expect_refused(base + "LANDMARK SURF 1 1 2 3 0 0\n", "Problem reading normal z coordinate", kvi);
    expect_refused(base + "FIDUCIAL 1 2\n", "Problem reading z coordinate in FIDUCIAL line", kvi);
    expect_refused(base + "CURVE 0 1\n", "Problem reading name in CURVE line", kvi);
    expect_refused(base + "CURVE 0 open x\n", "Problem reading curve closed status in CURVE line", kvi);
    expect_refused(base + "SWEEPS 0 x\n", "Problem reading frame number in SWEEPS line", kvi);
    expect_refused(base + "LOAD one 2\n", "Problem reading frame number in LOAD line", kvi);
    expect_refused(base + "LOAD 0 70000\n", "Problem reading load readings in LOAD line", kvi);
}

// Indices outside the recording are dropped with a message; the rest of the file loads.
TEST_F(MalformedRecording, OutOfRangeIndicesAreDropped)
{
    read_ok(header(2) + "RES_BIN_IM_FILENAME ok.kvi\nIM 1 0 0 0 0 0 0\nIM 2 0 0 0 0 0 0\n"
                        "CONT 200 0 1 1 1 2 2\nCONT 199 1 1 1 1 2 2\nCONT -1 0 1 1 1\n"
                        "CONT 3 2 1 1 1\nLANDMARK 2D 9 1 2 3 far\nLANDMARK SURF 250 1 2 3 0 0 1 s\n"
                        "SWEEPS 0 -3 1 2\nLOAD 5 1 2\nLOAD 1 1 2 3 4 5 6 7 8 9 10\nOBJECT 200 1 1 1 1 1.0 x\n"
                        "OBJECT -1 1 1 1 1 1.0 y\n",
            2);
    EXPECT_TRUE(log.contains("Ignoring objects greater than 199 in CONT line", wxLOG_Error));
    EXPECT_TRUE(log.contains("Ignoring objects greater than 199 in OBJECT line", wxLOG_Error));
    // A negative number is out of range, not "greater than 199".
    EXPECT_TRUE(log.contains("Ignoring object -1 in CONT line: object numbers run from 0 to 199", wxLOG_Error));
    EXPECT_TRUE(log.contains("Ignoring object -1 in OBJECT line: object numbers run from 0 to 199", wxLOG_Error));
    const object_table& objects = *res->RES_OBJECT->value();
    EXPECT_EQ(objects[199].sets.size(), 1u) << "object 199 is accepted";
    EXPECT_TRUE(objects[3].sets.empty()) << "frame 2 is outside a 2-frame recording";
    EXPECT_TRUE(res->RES_LANDMARKS->value()->list.empty());
    EXPECT_EQ(res->RES_SWEEPS->value()->first_frames, (std::vector<long>{0, 1}));
    EXPECT_EQ(bufp->load(1).channels, 8) << "at most 8 readings";
    EXPECT_EQ(bufp->load(1).readings[7], 8);
}

// An IM line with five position numbers is accepted (sixth 0) with a message;
// one with a pose word that is not a number keeps its frame without a pose, so
// that no part-zero pose is placed as if it were good;
// "# text" is a comment, "#text" an unknown name, and unknown names anywhere are skipped.
TEST_F(MalformedRecording, ShortOrBadPoseUnknownNamesAndComments)
{
    read_ok("# kept comment\n#notacomment\nRES_FUTURE_SETTING 5\n" + header(2) +
                "RES_NEWER 1 2 3\nRES_BIN_IM_FILENAME ok.kvi\nIM 7 1 2 3 4 5\nIM 8 1 2 x 4 5 6\n",
            2);
    EXPECT_TRUE(log.contains("Not enough numbers reading position information in image IM line", wxLOG_Error));
    EXPECT_EQ(bufp->positioncp(0)[4], 5.0f);
    EXPECT_EQ(bufp->positioncp(0)[5], 0.0f);
    EXPECT_TRUE(log.contains("Problem reading position information numbers in image IM line", wxLOG_Error));
    EXPECT_EQ(bufp->timestamp(1), 8u);
    EXPECT_EQ(bufp->positioncp(1).size(), 0u) << "no pose rather than 1 2 0 0 0 0";
    EXPECT_EQ(*res->RES_COMMENT->value(), std::vector<wxString>{"kept comment"});
}

TEST_F(MalformedRecording, CrLfLineEndings)
{
    std::string crlf;
    for (char c : header(1) + "RES_BIN_IM_FILENAME ok.kvi\nIM 9 1 2 3 4 5 6\nRES_CAL_PROBE probe A\n")
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    read_ok(crlf, 1);
    EXPECT_EQ(res->RES_CAL_PROBE->value(), "probe A");
    EXPECT_EQ(bufp->positioncp(0)[5], 6.0f);
}

}  // namespace

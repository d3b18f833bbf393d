// A fresh program state in a temporary folder, and helpers to make small
// recordings in memory and write files by hand, for the recording tests.
#pragma once

#include <fstream>
#include <memory>
#include <string>

#include "support/log_capture.h"
#include "support/session_fixture.h"

class RecordingTest : public SessionTest {
protected:
    void write_file(const wxString& name, const std::string& bytes) const
    {
        std::ofstream out(path(name).ToStdString(), std::ios::binary);
        out << bytes;
    }
    // Compares file contents without printing them: they can be megabytes.
    bool same_bytes(const std::string& a, const std::string& b) const { return a.size() == b.size() && a == b; }
    std::string read_file(const wxString& name) const
    {
        std::ifstream in(path(name).ToStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Frames of width x height whose pixels encode frame and position, with
    // poses that exercise float printing.
    void make_bmode_recording(long frames, long width, long height, bool with_poses = true)
    {
        res->RES_BUF_WIDTH->write(width);
        res->RES_BUF_HEIGHT->write(height);
        res->RES_FRAME_SIZE->write(width * height);
        res->RES_POS_REC->write(with_poses);
        for (long i = 0; i < frames; ++i) {
            const cip_t im = cip_t::make_8bit(width, height);
            for (std::size_t p = 0; p < im.pixel_count(); ++p)
                im.pixels()[p] = static_cast<std::uint8_t>(1 + (p * 7 + static_cast<std::size_t>(i) * 13) % 255);
            counted_array_ptr<float> pose;
            if (with_poses) {
                pose = counted_array_ptr<float>(6);
                const float values[6] = {1.0000001f * static_cast<float>(i), -2.5f, 3.1415927f, 179.99f, -89.5f,
                                         0.1f * static_cast<float>(i)};
                for (std::size_t k = 0; k < 6; ++k)
                    pose[k] = values[k];
            }
            bufp->append(im, pose, 1000000000000ULL + 400000ULL * static_cast<unsigned long long>(i));
        }
        recording_io->frames_changed();
    }

    // RF frames of `vectors` x `samples` signed samples, without positions.
    void set_up_rf(long samples, long vectors)
    {
        res->RES_BUF_RF->write(true);
        res->RES_RF_SAMPLES->write(samples);
        res->RES_RF_VECTORS->write(vectors);
        res->RES_FRAME_SIZE->write(samples * vectors);
        res->RES_POS_REC->write(false);
    }

    // A minimal valid header for hand-written files.
    static std::string header(long frames, long width = 4, long height = 3, bool positions = true)
    {
        return "RES_BUF_FRAMES " + std::to_string(frames) + "\nRES_BUF_WIDTH " + std::to_string(width) +
               "\nRES_BUF_HEIGHT " + std::to_string(height) + "\nRES_POS_REC " + (positions ? "true" : "false") +
               "\nRES_END_HEADER\nRES_VERSION 6.02\n";
    }
};

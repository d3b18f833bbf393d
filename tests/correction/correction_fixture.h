// A session holding a correction demo sweep, and how far its poses are from the truth.
#pragma once

#include <cmath>

#include "correction/image_correlation.h"
#include "demo/correction_demo.h"
#include "demo/demo_recording.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "support/session_fixture.h"

class CorrectionTest : public SessionTest {
protected:
    correction_demo demo;

    void load(const correction_demo_options& o)
    {
        demo = make_correction_demo(o);
        recording_io->new_recording();
        const probe_setup& p = demo.scene.probe;
        res->RES_BUF_WIDTH->write(p.width);
        res->RES_BUF_HEIGHT->write(p.height);
        res->RES_POS_REC->write(true);
        use_demo_probe(p);
        for (std::size_t i = 0; i < demo.frames.size(); ++i)
            bufp->append(render_correction_frame(demo, i), demo.frames[i].recorded_pose, demo.scene.trajectory[i].time);
        recording_io->frames_changed();
    }

    static correction_demo_options small(int frames = 300)
    {
        correction_demo_options o;
        o.frames = frames;
        o.width = 160;
        o.height = 120;
        return o;
    }

    // RMS distance (mm) of the image corners placed by `poses` from their true places.
    double corner_rms(const std::vector<counted_array_ptr<float>>& poses) const
    {
        const probe_setup& p = demo.scene.probe;
        const vertex3d corners[4] = {{0, 0, 0},
                                     {(p.width - 1) * p.sx, 0, 0},
                                     {0, (p.height - 1) * p.sy, 0},
                                     {(p.width - 1) * p.sx, (p.height - 1) * p.sy, 0}};
        double sum = 0.0;
        for (std::size_t i = 0; i < poses.size(); ++i) {
            const matrix16d a = image_to_world(poses[i].get(), p);
            const matrix16d b = image_to_world(demo.frames[i].true_pose.get(), p);
            for (const vertex3d& c : corners) {
                const vertex3d u = a * c, v = b * c;
                sum += (u.x - v.x) * (u.x - v.x) + (u.y - v.y) * (u.y - v.y) + (u.z - v.z) * (u.z - v.z);
            }
        }
        return 10.0 * std::sqrt(sum / (4.0 * static_cast<double>(poses.size())));
    }

    std::vector<counted_array_ptr<float>> held_poses() const
    {
        std::vector<counted_array_ptr<float>> out;
        for (long i = 0; i < bufp->frames(); ++i)
            out.push_back(bufp->positioncp(i));
        return out;
    }
    std::vector<counted_array_ptr<float>> recorded_poses() const
    {
        std::vector<counted_array_ptr<float>> out;
        for (const auto& f : demo.frames)
            out.push_back(f.recorded_pose);
        return out;
    }
};

#include "sequence_export.h"

#include <cstdio>
#include <string>
#include <vector>

#include <wx/filename.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"
#include "resources/safe_file.h"
#include "resources/value_text.h"
#include "volumes/deflate_writer.h"
#include "volumes/sequence_file.h"

namespace {

// Room for the compressed size, written once it is known.
constexpr std::size_t size_field_width = 20;

std::string number(double v)
{
    return value_text::round_trip(v).ToStdString();
}

std::string matrix_text(const row_major16_t& m)
{
    std::string out;
    for (std::size_t i = 0; i < m.size(); ++i)
        out += (i ? " " : "") + number(m[i] == 0.0 ? 0.0 : m[i]);  // no "-0"
    return out;
}

std::string frame_key(long k, const char* name)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "Seq_Frame%04ld_%s", k, name);
    return buf;
}

}  // namespace

bool write_sequence_file(const wxString& path, bool compress, sequence_export_report_t* report, wxString* why)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    const bool nrrd = ext == "nrrd";
    if (!nrrd && ext != "mha") {
        *why = "a sequence is written as .mha or .nrrd";
        return false;
    }
    const long frames = bufp ? bufp->frames() : 0;
    const long width = res->RES_BUF_WIDTH->value(), height = res->RES_BUF_HEIGHT->value();
    if (std::uint64_t(width) * std::uint64_t(height) > 0xFFFFFFFFu) {
        *why = "frames of more than 4 GB are not written as sequences";
        return false;
    }
    if (frames < 1) {
        *why = "the recording has no frames";
        return false;
    }
    if (res->RES_BUF_RF->value()) {
        *why = "RF recordings are not written as sequences: their frames are not images";
        return false;
    }
    for (long k = 0; k < frames; ++k) {
        const cip_t image = bufp->imagecp(k);
        if (!image.pixels() || image.width() != width || image.height() != height) {
            *why = wxString::Format("frame %ld is not an image of %ld x %ld", k, width, height);
            return false;
        }
    }
    const double sx = res->RES_XSCALE->value(), sy = res->RES_YSCALE->value();
    *report = {};
    report->frames = frames;
    report->image_to_probe =
        image_to_probe_matrix({res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(),
                               res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value()},
                              sx, sy);

    const std::string is = nrrd ? ":=" : " = ";
    std::string head;
    std::size_t size_field_at = std::string::npos;
    const std::string sizes = std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(frames);
    if (nrrd) {
        head =
            "NRRD0004\n# Tracked ultrasound sequence: 8-bit frames along the third axis.\ntype: unsigned char\n"
            "dimension: 3\nspace: left-posterior-superior\nsizes: " +
            sizes + "\nspace directions: (" + number(10 * sx) + ",0,0) (0," + number(10 * sy) +
            ",0) none\nkinds: domain domain list\nendian: little\nencoding: " + (compress ? "gzip" : "raw") +
            "\nspace origin: (0,0,0)\n";
    } else {
        head =
            "ObjectType = Image\nNDims = 3\nAnatomicalOrientation = RAI\nBinaryData = True\n"
            "BinaryDataByteOrderMSB = False\nCenterOfRotation = 0 0 0\nCompressedData = " +
            std::string(compress ? "True" : "False") + "\n";
        if (compress) {
            head += "CompressedDataSize = ";
            size_field_at = head.size();
            head += std::string(size_field_width, ' ') + "\n";
        }
        head += "DimSize = " + sizes + "\nElementNumberOfChannels = 1\nElementSpacing = " + number(10 * sx) + " " +
                number(10 * sy) +
                " 1\nElementType = MET_UCHAR\nOffset = 0 0 0\n"
                "TransformMatrix = 1 0 0 0 1 0 0 0 1\n";
    }
    head += "UltrasoundImageOrientation" + is + "MF\nUltrasoundImageType" + is + "BRIGHTNESS\n";
    head += "ImageToProbeTransform" + is + matrix_text(report->image_to_probe) + "\n";
    static const row_major16_t identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (long k = 0; k < frames; ++k) {
        const counted_array_ptr<float> pose = bufp->positioncp(k);
        const bool posed = pose.size() >= 6;
        row_major16_t m = identity;
        if (posed) {
            matrix16d cm;
            cm.forward(pose.get());
            m = row_major_mm_from_rigid_cm(cm);
        } else {
            ++report->frames_without_pose;
        }
        head += frame_key(k, "FrameNumber") + is + std::to_string(k) + "\n";
        head += frame_key(k, "ProbeToTrackerTransform") + is + matrix_text(m) + "\n";
        head += frame_key(k, "ProbeToTrackerTransformStatus") + is + (posed ? "OK" : "INVALID") + "\n";
        head += frame_key(k, "Timestamp") + is + sequence_time_text(bufp->timestamp(k)) + "\n";
        head += frame_key(k, "ImageStatus") + is + "OK\n";
    }
    head += nrrd ? "\n" : "ElementDataFile = LOCAL\n";

    safe_file_t file(path);
    const auto failed = [&](const char* what) {
        *why = wxString(what) + " " + path + ": " + file.error_text();
        return false;
    };
    if (!file.ok() || !file.write(head.data(), head.size()))
        return failed("cannot write");
    const std::size_t frame_bytes = std::size_t(width) * std::size_t(height);
    if (compress) {
        deflate_writer_t deflater(file, nrrd);  // gzip in NRRD, zlib in MetaImage
        if (!deflater.ready())
            return failed("cannot compress the frames of");
        for (long k = 0; k < frames; ++k)
            if (!deflater.write(bufp->imagecp(k).pixels(), frame_bytes))
                return failed("cannot write the frames of");
        if (!deflater.finish())
            return failed("cannot write the frames of");
        if (!nrrd) {
            const std::string size = std::to_string(deflater.total_out());
            if (!file.write_at(size_field_at, size.data(), size.size()))
                return failed("cannot write");
        }
    } else {
        for (long k = 0; k < frames; ++k)
            if (!file.write(bufp->imagecp(k).pixels(), frame_bytes))
                return failed("cannot write the frames of");
    }
    if (!file.finish() || !file.commit())
        return failed("cannot finish");
    return true;
}

// The line procedures of recording and template files: each parses the value
// of one kind of line into the recording being read, or writes all lines of
// its kind from the recording in memory.
#include <algorithm>
#include <charconv>

#include <wx/log.h>
#include <wx/txtstrm.h>

#include "recording_file.h"
#include "resource_table.h"
#include "token_reader.h"
#include "value_text.h"

namespace {

wxString fixed(double v)
{
    return value_text::fixed6(v);
}

// " %.2lf"-style numbers in the "C" notation whatever the process locale.
wxString decimals(double v, int places)
{
    char buf[400];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, places);
    return ec == std::errc() ? wxString(buf, static_cast<std::size_t>(ptr - buf)) : wxString("0");
}

bool stream_ok(wxTextOutputStream& out)
{
    return out.GetOutputStream().IsOk();
}

}  // namespace

bool recording_io_t::needs_frames_line(const char* keyword)
{
    if (seen_[SEEN_FRAMES])
        return true;
    if (std::string(keyword) == "IM")
        wxLogError("Header of data file does not contain RES_BUF_FRAMES line but body contains IM lines.\n");
    else
        wxLogError("Header of data file does not contain RES_BUF_FRAMES line but body contains %s lines", keyword);
    return false;
}

long recording_io_t::pending_frames() const
{
    return static_cast<long>(res->RES_BUF_FRAMES->pending());
}

bool recording_io_t::object_number_ok(long n, const char* line_kind)
{
    if (n >= 0 && n < object_table::size)
        return true;
    if (n < 0)
        wxLogError("Ignoring object %li in %s line: object numbers run from 0 to %i", n, line_kind,
                   object_table::size - 1);
    else
        wxLogError("Ignoring objects greater than %i in %s line", object_table::size - 1, line_kind);
    return false;
}

bool recording_io_t::frame_number_ok(long n, const char* line_kind)
{
    if (n >= 0 && n < pending_frames())
        return true;
    wxLogError("Ignoring frame number %li outside the recording in %s line", n, line_kind);
    return false;
}

object_table& recording_io_t::staged_objects()
{
    if (!stage_->objects)
        stage_->objects = std::make_shared<object_table>();
    return *stage_->objects;
}

// ---------------------------------------------------------------- header

bool recording_io_t::parse_end_header(const wxString&)
{
    if (!seen_[SEEN_RF])
        res->RES_BUF_RF->write_no_changeprocs(false);
    if (!seen_[SEEN_DICOM])
        res->RES_BUF_DICOM->write_no_changeprocs(false);
    const bool rf = res->RES_BUF_RF->pending(), dicom = res->RES_BUF_DICOM->pending();
    std::int64_t a, b;
    if (rf) {
        if (!seen_[SEEN_SAMPLES] || !seen_[SEEN_VECTORS]) {
            wxLogError("File specifies RF data, but either rf_samples or rf_vectors is missing.\n");
            return false;
        }
        a = res->RES_RF_SAMPLES->pending();
        b = res->RES_RF_VECTORS->pending();
    } else {
        if (!seen_[SEEN_WIDTH] || !seen_[SEEN_HEIGHT]) {
            wxLogError(dicom ? "File specifies DICOM data, but either buf_width or buf_height is missing.\n"
                             : "File specifies image data, but either buf_width or buf_height is missing.\n");
            return false;
        }
        a = res->RES_BUF_WIDTH->pending();
        b = res->RES_BUF_HEIGHT->pending();
    }
    // Sizes come from an untrusted file: keep them where 64-bit size arithmetic is safe.
    if (a < 1 || a > 65535 || b < 1 || b > 65535) {
        wxLogError("Frame size %lld by %lld is outside 1 to 65535.\n", static_cast<long long>(a),
                   static_cast<long long>(b));
        return false;
    }
    if (res->RES_BUF_FRAMES->pending() < 0) {
        wxLogError("Negative frame count %lld in RES_BUF_FRAMES.\n",
                   static_cast<long long>(res->RES_BUF_FRAMES->pending()));
        return false;
    }
    res->RES_FRAME_SIZE->write_no_changeprocs(a * b);
    if (!seen_[SEEN_POS_REC])
        res->RES_POS_REC->write_no_changeprocs(false);
    end_header_seen_ = true;
    res->RES_END_HEADER->write_no_changeprocs();
    return true;
}

bool recording_io_t::parse_comment(const wxString& v)
{
    if (!reading())
        return true;  // a comment in a script line
    stage_->comments.push_back(v);
    stage_->have_comments = true;
    return true;
}

bool recording_io_t::write_out_comment(wxTextOutputStream& out)
{
    if (const auto& comments = res->RES_COMMENT->value())
        for (const wxString& c : *comments)
            out.WriteString("# " + value_text::single_line(c) + "\n");
    if (!stream_ok(out)) {
        wxLogError("Error writing out comment lines to ascii data file.");
        return false;
    }
    return true;
}

bool recording_io_t::parse_dicom_frame_list(const wxString& v)
{
    if (!reading())
        return true;
    token_reader t(v);
    stage_->dicom_frames.clear();
    while (!t.at_end()) {
        long n;
        if (!t.next_long(&n) || n < 0) {
            wxLogError("Problem reading frame number in RES_DICOM_FRAME_LIST line");
            return false;
        }
        stage_->dicom_frames.push_back(n);
    }
    stage_->have_dicom_frames = true;
    return true;
}

bool recording_io_t::write_out_dicom_frame_list(wxTextOutputStream& out)
{
    const auto& list = res->RES_DICOM_FRAME_LIST->value();
    if (!list || list->empty())
        return true;
    wxString line = "RES_DICOM_FRAME_LIST";
    for (long n : *list)
        line << " " << n;
    out.WriteString(line + "\n");
    if (!stream_ok(out)) {
        wxLogError("Error writing out RES_DICOM_FRAME_LIST line to ascii data file.");
        return false;
    }
    return true;
}

bool recording_io_t::parse_rf_display(const wxString& v)
{
    const wxString word = wxString(v).Trim(true).Trim(false);
    long value = 1;
    if (word == "PHASE")
        value = 2;
    else if (word == "STRAIN")
        value = 3;
    else if (word == "EXPERIMENTAL")
        value = 4;
    res->RES_RF_DISPLAY->write_no_changeprocs(value);
    return true;
}

bool recording_io_t::write_out_rf_display(wxTextOutputStream& out)
{
    const auto v = res->RES_RF_DISPLAY->value();
    const char* word = v == 2 ? "PHASE" : v == 3 ? "STRAIN" : (v >= 4 && v <= 6) ? "EXPERIMENTAL" : "BSCAN";
    out.WriteString(wxString("RES_RF_DISPLAY ") + word + "\n");
    if (!stream_ok(out)) {
        wxLogError("Error writing out RES_RF_DISPLAY lines to ascii data file.");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- frames

bool recording_io_t::parse_image_dat(const wxString& v)
{
    if (!reading())
        return true;
    if (!needs_frames_line("IM"))
        return false;
    token_reader t(v);
    std::uint64_t time;
    bool missing;
    if (!t.next_leading_digits(&time, &missing)) {
        wxLogError(missing ? "Problem: not enough numbers reading timestamp information in image IM line"
                           : "Problem reading timestamp in image IM line");
        return false;
    }
    stage_->times.push_back(time);
    counted_array_ptr<float> pose;
    // A frame recorded without a pose is written with its time alone.
    if (res->RES_POS_REC->pending() && !t.at_end()) {
        pose = counted_array_ptr<float>(6);
        int read = 0;
        bool bad = false;
        for (; read < 6; ++read) {
            wxString token;
            if (!t.next(&token))
                break;
            double d;
            if (!value_text::parse_double(token, &d)) {
                bad = true;
                break;
            }
            pose[static_cast<std::size_t>(read)] = static_cast<float>(d);
        }
        if (bad) {
            wxLogError("Problem reading position information numbers in image IM line");
            pose = {};  // kept as a frame without a pose: a part-zero pose would be placed as if good
        } else if (read < 6)
            wxLogError("Not enough numbers reading position information in image IM line");
    }
    stage_->poses.push_back(pose);
    res->IM->write_no_changeprocs();
    return true;
}

bool recording_io_t::write_out_image_dat(wxTextOutputStream& out)
{
    const bool with_pose = res->RES_POS_REC->value();
    const long n = bufp ? bufp->frames() : 0;
    wxString block;
    for (long i = 0; i < n; ++i) {
        block << "IM " << wxString::Format("%llu", static_cast<unsigned long long>(bufp->timestamp(i)));
        // A frame without a pose keeps none: zeros would place it at the tracker's origin when read back.
        const counted_array_ptr<float> p = with_pose ? bufp->positioncp(i) : counted_array_ptr<float>();
        if (p.size() >= 6)
            for (std::size_t k = 0; k < 6; ++k)
                block << " " << value_text::float_text(p[k]);
        block << "\n";
        if (block.length() > 65536 || i + 1 == n) {
            out.WriteString(block);
            block.clear();
        }
    }
    if (!stream_ok(out)) {
        wxLogError("Error writing out IM lines to ascii data file.\n");
        return false;
    }
    return true;
}

bool recording_io_t::parse_load_dat(const wxString& v)
{
    if (!reading())
        return true;
    if (!needs_frames_line("LOAD"))
        return false;
    token_reader t(v);
    long frame;
    if (!t.next_long(&frame)) {
        wxLogError("Problem reading frame number in LOAD line");
        return false;
    }
    load_record_t record;
    while (!t.at_end()) {
        long reading;
        if (!t.next_long(&reading) || reading < 0 || reading > 65535) {
            wxLogError("Problem reading load readings in LOAD line");
            return false;
        }
        if (record.channels == load_record_t::max_channels) {
            wxLogError("More than %i readings in LOAD line; the rest are ignored", load_record_t::max_channels);
            break;
        }
        record.readings[record.channels++] = static_cast<std::uint16_t>(reading);
    }
    if (frame_number_ok(frame, "LOAD"))
        stage_->loads.emplace_back(frame, record);
    res->LOAD->write_no_changeprocs();
    return true;
}

bool recording_io_t::write_out_load_dat(wxTextOutputStream& out)
{
    const long n = bufp ? bufp->frames() : 0;
    for (long i = 0; i < n; ++i) {
        const load_record_t l = bufp->load(i);
        if (!l.channels)
            continue;
        wxString line;
        line << "LOAD " << i << " ";
        for (int c = 0; c < l.channels; ++c)
            line << l.readings[c] << " ";
        out.WriteString(line + "\n");
    }
    if (!stream_ok(out)) {
        wxLogError("Error writing out LOAD lines to ascii data file.\n");
        return false;
    }
    return true;
}

bool recording_io_t::parse_sweep_dat(const wxString& v)
{
    if (!reading())
        return true;
    token_reader t(v);
    stage_->sweeps->first_frames.clear();
    while (!t.at_end()) {
        long frame;
        if (!t.next_long(&frame)) {
            wxLogError("Problem reading frame number in SWEEPS line");
            return false;
        }
        if (frame_number_ok(frame, "SWEEPS"))
            stage_->sweeps->first_frames.push_back(frame);
    }
    res->SWEEPS->write_no_changeprocs();
    return true;
}

bool recording_io_t::write_out_sweep_dat(wxTextOutputStream& out)
{
    const auto& sweeps = res->RES_SWEEPS->value();
    if (!sweeps || sweeps->first_frames.empty())
        return true;
    wxString line = "SWEEPS";
    for (long f : sweeps->first_frames)
        line << " " << f;
    out.WriteString(line + "\n");
    if (!stream_ok(out)) {
        wxLogError("Error writing out SWEEPS line to ascii data file.");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- landmarks

bool recording_io_t::parse_landmark_dat(const wxString& v)
{
    if (!reading())
        return true;
    token_reader t(v);
    landmark_t mark;
    wxString first;
    double x = 0;
    if (!t.next(&first)) {
        wxLogError("Problem reading x/2D/SURF token in LANDMARK line");
        return false;
    }
    bool have_x = false;
    if (first == "2D" || first == "SURF") {
        long index;
        if (!t.next_long(&index)) {
            wxLogError(first == "2D" ? "Problem reading frame in LANDMARK 2D line"
                                     : "Problem reading object in LANDMARK SURF line");
            return false;
        }
        mark.kind = first == "2D" ? LMARK_2D : LMARK_SURFACE;
        mark.index = static_cast<std::int32_t>(index);
    } else if (value_text::parse_double(first, &x)) {
        have_x = true;
    } else {
        wxLogError("Problem reading x/2D/SURF token in LANDMARK line");
        return false;
    }
    const bool surf = mark.kind == LMARK_SURFACE;
    const char* suffix = surf ? " in LANDMARK SURF line" : " in LANDMARK line";
    double xyz[3] = {x, 0, 0};
    for (int k = have_x ? 1 : 0; k < 3; ++k)
        if (!t.next_double(&xyz[k])) {
            wxLogError("Problem reading %s coordinate%s", k == 0 ? "x" : k == 1 ? "y" : "z", suffix);
            return false;
        }
    mark.position = {xyz[0], xyz[1], xyz[2]};
    if (surf) {
        double n[3];
        for (int k = 0; k < 3; ++k)
            if (!t.next_double(&n[k])) {
                wxLogError("Problem reading normal %s coordinate in LANDMARK SURF line",
                           k == 0 ? "x" : k == 1 ? "y" : "z");
                return false;
            }
        mark.normal = {n[0], n[1], n[2]};
    }
    mark.name = t.rest();
    if (mark.name.empty()) {
        wxLogError("Problem reading name in LANDMARK line");
        return false;
    }
    const bool index_ok = mark.kind == LMARK_2D    ? frame_number_ok(mark.index, "LANDMARK")
                          : mark.kind == LMARK_SURFACE ? object_number_ok(mark.index, "LANDMARK")
                                                        : true;
    if (index_ok)
        stage_->marks->list.push_back(mark);
    res->LANDMARK->write_no_changeprocs();
    return true;
}

bool recording_io_t::write_out_landmark_dat(wxTextOutputStream& out)
{
    if (const auto& marks = res->RES_LANDMARKS->value())
        for (const landmark_t& m : marks->list) {
            if (m.kind == LMARK_FIDUCIAL)
                continue;
            wxString line = "LANDMARK";
            if (m.kind == LMARK_2D)
                line << " 2D " << m.index;
            else if (m.kind == LMARK_SURFACE)
                line << " SURF " << m.index;
            line << " " << fixed(m.position.x) << " " << fixed(m.position.y) << " " << fixed(m.position.z);
            if (m.kind == LMARK_SURFACE)
                line << " " << fixed(m.normal.x) << " " << fixed(m.normal.y) << " " << fixed(m.normal.z);
            out.WriteString(line + " " + value_text::single_line(m.name) + "\n");
        }
    if (!stream_ok(out)) {
        wxLogError("Error writing out LANDMARK lines to ascii data file.");
        return false;
    }
    return true;
}

bool recording_io_t::parse_fiducial_dat(const wxString& v)
{
    if (!reading())
        return true;
    token_reader t(v);
    landmark_t mark;
    mark.kind = LMARK_FIDUCIAL;
    double xyz[3];
    for (int k = 0; k < 3; ++k)
        if (!t.next_double(&xyz[k])) {
            wxLogError("Problem reading %s coordinate in FIDUCIAL line", k == 0 ? "x" : k == 1 ? "y" : "z");
            return false;
        }
    mark.position = {xyz[0], xyz[1], xyz[2]};
    mark.name = t.rest();
    if (mark.name.empty()) {
        wxLogError("Problem reading name in FIDUCIAL line");
        return false;
    }
    stage_->marks->list.push_back(mark);
    res->FIDUCIAL->write_no_changeprocs();
    return true;
}

bool recording_io_t::write_out_fiducial_dat(wxTextOutputStream& out)
{
    if (const auto& marks = res->RES_LANDMARKS->value())
        for (const landmark_t& m : marks->list)
            if (m.kind == LMARK_FIDUCIAL)
                out.WriteString("FIDUCIAL " + fixed(m.position.x) + " " + fixed(m.position.y) + " " +
                                fixed(m.position.z) + " " + value_text::single_line(m.name) + "\n");
    if (!stream_ok(out)) {
        wxLogError("Error writing out FIDUCIAL lines to ascii data file.");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- objects and outlines

bool recording_io_t::parse_object_dat(const wxString& v)
{
    if (!reading())
        return true;
    token_reader t(v);
    long number, type;
    if (!t.next_long(&number)) {
        wxLogError("Problem reading object number in OBJECT line");
        return false;
    }
    if (!t.next_long(&type)) {
        wxLogError("Problem reading object type in OBJECT line");
        return false;
    }
    long rgb[3];
    for (long& c : rgb)
        if (!t.next_long(&c) || c < 0 || c > 255) {
            wxLogError("Problem reading colour in OBJECT line");
            return false;
        }
    double opacity = 1.0;
    wxString token;
    if (t.next(&token) && !value_text::parse_double(token, &opacity)) {
        wxLogError("Problem reading opacity in OBJECT line");
        return false;
    }
    wxString name = t.rest();
    if (object_number_ok(number, "OBJECT")) {
        contour_object& o = staged_objects()[static_cast<int>(number)];
        o.solid = type != 0;
        o.colour = {static_cast<std::uint8_t>(rgb[0]), static_cast<std::uint8_t>(rgb[1]),
                    static_cast<std::uint8_t>(rgb[2])};
        o.opacity = std::clamp(opacity, 0.0, 1.0);
        o.name = name.empty() ? wxString::Format("Object %li", number) : name;
    }
    res->OBJECT->write_no_changeprocs();
    return true;
}

namespace {
// Objects worth a line: those with outlines, or changed from their defaults.
bool object_worth_writing(const contour_object& o, int i)
{
    return o.has_outlines() || o.name != object_table::default_name(i) ||
           !(o.colour == object_table::default_colour(i)) || o.opacity != 1.0 || !o.solid;
}
}  // namespace

bool recording_io_t::write_out_object_dat(wxTextOutputStream& out)
{
    if (const auto& objects = res->RES_OBJECT->value())
        for (int i = 0; i < object_table::size; ++i) {
            const contour_object& o = (*objects)[i];
            if (!object_worth_writing(o, i))
                continue;
            wxString line;
            line << "OBJECT " << i << " " << (o.solid ? 1 : 0) << " " << int(o.colour.r) << " " << int(o.colour.g)
                 << " " << int(o.colour.b) << " " << decimals(o.opacity, 3) << " "
                 << value_text::single_line(o.name) << "\n";
            out.WriteString(line);
        }
    if (!stream_ok(out)) {
        wxLogError("Error writing out OBJECT lines to ascii data file.");
        return false;
    }
    return true;
}

bool recording_io_t::parse_contour_dat(const wxString& v)
{
    if (!reading())
        return true;
    if (!needs_frames_line("CONT"))
        return false;
    token_reader t(v);
    long object, frame, closed;
    if (!t.next_long(&object)) {
        wxLogError("Problem reading object number in CONT line");
        return false;
    }
    if (!t.next_long(&frame)) {
        wxLogError("Problem reading frame number in CONT line");
        return false;
    }
    if (!t.next_long(&closed)) {
        wxLogError("Problem reading contour closed status in CONT line");
        return false;
    }
    contour c;
    c.closed = closed != 0;
    while (!t.at_end()) {
        vertex2d p;
        if (!t.next_double(&p.x) || !t.next_double(&p.y)) {
            wxLogError("Problem reading vertex in CONT line");
            return false;
        }
        c.points.push_back(p);
    }
    if (object_number_ok(object, "CONT") && frame_number_ok(frame, "CONT"))
        staged_objects()[static_cast<int>(object)]
            .set_for_frame(static_cast<std::int32_t>(frame))
            .contours.push_back(std::move(c));
    res->CONT->write_no_changeprocs();
    return true;
}

bool recording_io_t::write_out_contour_dat(wxTextOutputStream& out)
{
    if (const auto& objects = res->RES_OBJECT->value())
        for (int i = 0; i < object_table::size; ++i)
            for (const contour_set& s : (*objects)[i].sets)
                for (const contour& c : s.contours) {
                    wxString line;
                    line << "CONT " << i << " " << s.frame << " " << (c.closed ? 1 : 0);
                    for (const vertex2d& p : c.points)
                        line << " " << decimals(p.x, 2) << " " << decimals(p.y, 2);
                    out.WriteString(line + "\n");
                }
    if (!stream_ok(out)) {
        wxLogError("Error writing out CONT lines to ascii data file.");
        return false;
    }
    return true;
}

bool recording_io_t::parse_curve_dat(const wxString& v)
{
    if (!reading())
        return true;
    token_reader t(v);
    long object, closed;
    if (!t.next_long(&object)) {
        wxLogError("Problem reading object number in CURVE line");
        return false;
    }
    if (!t.next_long(&closed)) {
        wxLogError("Problem reading curve closed status in CURVE line");
        return false;
    }
    // Points are number triples; the name is what follows, at least its last word.
    std::vector<wxString> tokens;
    for (wxString token; t.next(&token);)
        tokens.push_back(token);
    std::size_t used = 0;
    curve_t curve;
    curve.object = static_cast<std::int32_t>(object);
    curve.closed = closed != 0;
    while (used + 3 < tokens.size()) {
        vertex3d p;
        if (!value_text::parse_double(tokens[used], &p.x) || !value_text::parse_double(tokens[used + 1], &p.y) ||
            !value_text::parse_double(tokens[used + 2], &p.z))
            break;
        curve.points.push_back(p);
        used += 3;
    }
    if (used >= tokens.size()) {
        wxLogError("Problem reading name in CURVE line");
        return false;
    }
    // The name keeps its own spacing: take the text from its first word on.
    std::size_t from = 0;
    for (std::size_t k = 0; k < used + 2; ++k) {  // skip object, closed and the point numbers
        while (from < v.length() && (v[from] == ' ' || v[from] == '\t'))
            ++from;
        while (from < v.length() && v[from] != ' ' && v[from] != '\t')
            ++from;
    }
    curve.name = v.substr(from);
    curve.name.Trim(true).Trim(false);
    if (object_number_ok(object, "CURVE"))
        stage_->curves->curves.push_back(std::move(curve));
    res->CURVE->write_no_changeprocs();
    return true;
}

bool recording_io_t::write_out_curve_dat(wxTextOutputStream& out)
{
    if (const auto& curves = res->RES_CURVE->value())
        for (const curve_t& c : curves->curves) {
            wxString line;
            line << "CURVE " << c.object << " " << (c.closed ? 1 : 0);
            for (const vertex3d& p : c.points)
                line << " " << decimals(p.x, 8) << " " << decimals(p.y, 8) << " " << decimals(p.z, 8);
            out.WriteString(line + " " + value_text::single_line(c.name) + "\n");
        }
    if (!stream_ok(out)) {
        wxLogError("Error writing out CURVE lines to ascii data file.");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- image data file name

bool recording_io_t::parse_bin_im_filename(const wxString& v)
{
    const wxString name = wxString(v).Trim(true).Trim(false);
    if (name.empty()) {
        wxLogError("Problem: no file name in RES_BIN_IM_FILENAME line.\n");
        return false;
    }
    // The image data file always lies beside the recording: a path could reach any file.
    if (name.find_first_of("/\\") != wxString::npos || name == "." || name == "..") {
        wxLogError("The image data file name '%s' must not name a folder.\n", name);
        return false;
    }
    res->RES_BIN_IM_FILENAME->write_no_changeprocs(name);
    if (!reading() || res->RES_BUF_DICOM->pending())
        return true;
    return read_image_data(reading_dir_ + wxFILE_SEP_PATH + name);
}

bool recording_io_t::write_out_bin_im_filename(wxTextOutputStream& out)
{
    out.WriteString("RES_BIN_IM_FILENAME " + value_text::single_line(res->RES_BIN_IM_FILENAME->value()) + "\n");
    if (!stream_ok(out)) {
        wxLogError("Error writing out data file name to ascii data file.\n");
        return false;
    }
    return true;
}

// Recordings on disk: the .ks text file of resource lines and the .kvi file
// of raw frames. Reading fills the frame buffer and the per-recording
// resources in one change pass; writing never replaces the old files until
// the new ones are completely on disk.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <memory>
#include <vector>

#include <wx/string.h>

#include "common/cip.h"
#include "common/dynabuf.h"
#include "base_res.h"
#include "recording_data.h"

class wxTextOutputStream;

// Everything a recording file brings in, gathered while it is read and put
// in place only when the whole file has read correctly.
struct recording_content_t {
    std::vector<std::uint64_t> times;
    std::vector<counted_array_ptr<float>> poses;
    std::vector<cip_t> images;
    std::vector<std::pair<long, load_record_t>> loads;
    std::shared_ptr<object_table> objects;
    std::shared_ptr<curve_set> curves = std::make_shared<curve_set>();
    std::shared_ptr<landmarks> marks = std::make_shared<landmarks>();
    std::shared_ptr<multi_sweeps> sweeps = std::make_shared<multi_sweeps>();
    std::vector<wxString> comments;
    std::vector<long> dicom_frames;
    bool have_comments = false, have_dicom_frames = false;
    std::uint64_t image_data_surplus = 0;  // bytes of the image data file beyond its frames
};

class recording_io_t {
public:
    // Registers the line procedures on the resource table `res`.
    recording_io_t();
    ~recording_io_t();
    recording_io_t(const recording_io_t&) = delete;
    recording_io_t& operator=(const recording_io_t&) = delete;

    bool try_read_kestrane_file(const wxString& path);
    bool try_write_kestrane_file(const wxString& path);
    // Save as: the image data file is named after the recording file and
    // written beside it. raw_8bit converts RF and 16-bit frames to plain frames
    // (asking first unless `confirmed`). A DICOM recording kept as such stays
    // in its data's folder.
    bool save_as(const wxString& path, bool raw_8bit = false, bool confirmed = false);
    bool try_read_template_file(const wxString& path);
    bool try_write_template_file(const wxString& path);

    void set_default_resources();   // as pending values, for the read that follows
    void clear_static_resources();  // frames and per-recording data
    // file_mask: RES_MASK_RECORDING after a recording, RES_MASK_TEMPLATE after a
    // template; each conversion touches only values that kind of file carries.
    void update_resource_version(unsigned long file_mask = RES_MASK_RECORDING);
    // New: back to the user's settings, no data, the next free automatic names.
    void new_recording();
    // After frames were added to or removed from the frame buffer: the frame
    // count follows it and the image data file counts as unsaved.
    void frames_changed();

    // False, with the reason logged, for a recording file name that would
    // write over an image data file: a .kvi name, the open recording's image
    // data file, or the image data file of a recording beside it.
    static bool recording_target_allowed(const wxString& path);

    // The .kvi name that goes with a .ks name: same stem with .kvi, otherwise "i" appended.
    static wxString image_file_name_for(const wxString& recording_path);

    // Turns the RF samples of a frame into its 8-bit display image; the frame
    // number lets persistence blend consecutive frames. The default compresses
    // the unfiltered signal; the RF module installs its own.
    using rf_display_t = std::function<void(const cip_t& frame, long frame_number)>;
    void set_rf_display(rf_display_t f) { rf_display_ = std::move(f); }
    const rf_display_t& rf_display_function() const { return rf_display_; }
    void rf_display(const cip_t& frame, long frame_number = 0) const { rf_display_(frame, frame_number); }
    // Reads a DICOM recording's frames again from the files below its folder
    // (RES_DICOM_FRAME_LIST), checked against the size and poses read; false
    // with the reason. Installed by the DICOM display; without one such
    // recordings are refused.
    // Also gives the data's rescale (slope, intercept), for files from before
    // the recording kept its own.
    using dicom_reader_t =
        std::function<bool(const wxString& folder, const std::vector<long>& sources, long width, long height,
                           const std::vector<counted_array_ptr<float>>& poses, std::vector<cip_t>* frames,
                           std::pair<double, double>* rescale, wxString* why)>;
    void set_dicom_reader(dicom_reader_t f) { dicom_reader_ = std::move(f); }

    // The folder of the recording being read, else of the current recording.
    wxString recording_directory() const;

    // The calibration summary shown after a template with positions is loaded.
    static wxString calibration_summary();

    // Bytes of the last recording's image data file beyond its frames (0 when it matched).
    std::uint64_t image_data_surplus() const { return image_data_surplus_; }

    // Frames of the recording in memory, for tools and tests.
    static long frame_count();

private:
    enum seen_t { SEEN_FRAMES, SEEN_WIDTH, SEEN_HEIGHT, SEEN_RF, SEEN_DICOM, SEEN_SAMPLES, SEEN_VECTORS,
                  SEEN_POS_REC, SEEN_COUNT };

    // Opens the way for reading path: staging, header tracking, postponed writes
    // and the per-recording defaults. False when the file cannot be opened.
    // A recording first brings every per-recording value back to the user's or its default.
    bool begin_read(const wxString& path, bool recording);
    void register_procedures();
    void unregister_procedures();
    bool read_lines(const wxString& path, unsigned long header_mask, unsigned long body_mask,
                    const char* failure_format, bool progress);
    void commit_content();
    void fail_read();

    // Line procedures.
    bool parse_end_header(const wxString& v);
    bool parse_comment(const wxString& v);
    bool write_out_comment(wxTextOutputStream& out);
    bool parse_image_dat(const wxString& v);
    bool write_out_image_dat(wxTextOutputStream& out);
    bool parse_load_dat(const wxString& v);
    bool write_out_load_dat(wxTextOutputStream& out);
    bool parse_sweep_dat(const wxString& v);
    bool write_out_sweep_dat(wxTextOutputStream& out);
    bool parse_landmark_dat(const wxString& v);
    bool write_out_landmark_dat(wxTextOutputStream& out);
    bool parse_fiducial_dat(const wxString& v);
    bool write_out_fiducial_dat(wxTextOutputStream& out);
    bool parse_object_dat(const wxString& v);
    bool write_out_object_dat(wxTextOutputStream& out);
    bool parse_contour_dat(const wxString& v);
    bool write_out_contour_dat(wxTextOutputStream& out);
    bool parse_curve_dat(const wxString& v);
    bool write_out_curve_dat(wxTextOutputStream& out);
    bool parse_dicom_frame_list(const wxString& v);
    bool write_out_dicom_frame_list(wxTextOutputStream& out);
    bool parse_rf_display(const wxString& v);
    bool write_out_rf_display(wxTextOutputStream& out);
    bool parse_bin_im_filename(const wxString& v);
    bool write_out_bin_im_filename(wxTextOutputStream& out);
    // Template lines written as words or numbers.
    bool parse_vid_card(const wxString& v);
    bool write_out_vid_card(wxTextOutputStream& out);
    bool parse_pos_detect(const wxString& v);
    bool write_out_pos_detect(wxTextOutputStream& out);
    bool parse_video_standard(const wxString& v);
    bool write_out_video_standard(wxTextOutputStream& out);
    bool parse_polaris_port(const wxString& v, bool pointer);
    bool write_out_polaris_port(wxTextOutputStream& out, bool pointer);

    // Image data (.kvi).
    bool read_image_data(const wxString& path);
    bool read_dicom_frames();
    bool write_image_data(class safe_file_t& file);
    std::uint64_t frame_bytes() const;

    bool reading() const { return stage_ != nullptr; }
    bool needs_frames_line(const char* keyword);
    bool object_number_ok(long n, const char* line_kind);
    bool frame_number_ok(long n, const char* line_kind);
    long pending_frames() const;
    object_table& staged_objects();

    std::unique_ptr<recording_content_t> stage_;  // set only while a file is read
    wxString reading_dir_;
    bool seen_[SEEN_COUNT] = {};
    bool end_header_seen_ = false;
    std::uint64_t image_data_surplus_ = 0;
    rf_display_t rf_display_;
    dicom_reader_t dicom_reader_;
    std::optional<std::pair<double, double>> dicom_rescale_;  // of the DICOM recording last read
};

// The process-wide instance, created with the resource table.
extern recording_io_t* recording_io;

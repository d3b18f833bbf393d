// Saving a recording's two files as one step. Each file is first written
// completely beside its target (safe_file_t); a small journal naming the
// finished files is then put beside the recording, the files are renamed into
// place, and the journal is removed. A save killed at any point therefore
// leaves either the old pair (no journal: the unfinished files are removed
// later) or a journal from which the next open or save finishes the renames.
#pragma once

#include <vector>

#include <wx/string.h>

class safe_file_t;

// Renames the finished files into place in the order given, through the
// journal of recording_path when there is more than one. False (and logged)
// when a rename fails; what was renamed stays.
bool commit_together(const std::vector<safe_file_t*>& files, const wxString& recording_path);

// Before a recording is opened or saved: finishes a save of it that was
// interrupted after its files were complete, and removes the unfinished
// files an earlier save left beside it and beside the named image data files.
void recover_interrupted_save(const wxString& recording_path, const std::vector<wxString>& image_names = {});

// The journal's name for a recording.
wxString save_journal_path(const wxString& recording_path);

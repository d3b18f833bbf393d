#include "save_journal.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <wx/filename.h>
#include <wx/log.h>

#include "safe_file.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* journal_heading = "kestrane save journal 1";
constexpr std::size_t temp_suffix_length = 6;  // mkstemp's characters
constexpr std::uintmax_t journal_size_limit = 64 * 1024;

fs::path native(const wxString& path)
{
    return fs::path(static_cast<const char*>(path.fn_str()));
}

bool plain_name(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// A temporary file of target, as safe_file_t names them.
bool is_temp_of(const std::string& name, const std::string& target)
{
    const std::string stem = target + safe_file_temp_infix;
    return name.size() == stem.size() + temp_suffix_length && name.compare(0, stem.size(), stem) == 0;
}

struct journal_entry_t {
    std::string temp, target;  // names in the recording's folder
};

// The journal is read like any file from outside: each entry must name a
// temporary file of its own target in the same folder, or nothing is done.
bool read_journal(const fs::path& path, std::vector<journal_entry_t>* entries)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > journal_size_limit)
        return false;
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line) || line != journal_heading)
        return false;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos)
            return false;
        journal_entry_t e{line.substr(0, tab), line.substr(tab + 1)};
        if (!plain_name(e.temp) || !plain_name(e.target) || !is_temp_of(e.temp, e.target))
            return false;
        entries->push_back(std::move(e));
    }
    return !entries->empty();
}

void remove_leftovers(const fs::path& folder, const std::vector<std::string>& targets)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (const std::string& target : targets)
            if (is_temp_of(name, target)) {
                fs::remove(it->path(), ec);
                wxLogDebug("Removed %s, left by a save that did not finish.", wxString(it->path().string()));
                break;
            }
    }
}

}  // namespace

wxString save_journal_path(const wxString& recording_path)
{
    return recording_path + ".saving";
}

bool commit_together(const std::vector<safe_file_t*>& files, const wxString& recording_path)
{
    for (safe_file_t* f : files)
        if (!f->finish())
            return false;
    if (files.size() == 1)
        return files.front()->commit();

    std::string text = std::string(journal_heading) + "\n";
    for (const safe_file_t* f : files)
        text += fs::path(f->temp_path()).filename().string() + "\t" +
                native(f->target()).filename().string() + "\n";
    const wxString journal = save_journal_path(recording_path);
    safe_file_t journal_file(journal);
    if (!journal_file.write(text.data(), text.size()) || !journal_file.commit()) {
        wxLogError("Could not write %s to save the recording safely.", journal);
        return false;
    }
    for (safe_file_t* f : files)
        if (!f->commit()) {
            // The journal stays: the next open finishes what is left.
            wxLogError("Could not rename the new %s into place.", f->target());
            return false;
        }
    file_step();
    std::error_code ec;
    fs::remove(native(journal), ec);
    sync_directory_of(static_cast<const char*>(journal.fn_str()));
    return true;
}

void recover_interrupted_save(const wxString& recording_path, const std::vector<wxString>& image_names)
{
    const fs::path recording = native(recording_path);
    const fs::path folder = recording.has_parent_path() ? recording.parent_path() : fs::path(".");
    const fs::path journal = native(save_journal_path(recording_path));
    std::error_code ec;
    if (fs::exists(journal, ec)) {
        std::vector<journal_entry_t> entries;
        if (read_journal(journal, &entries)) {
            bool finished = false;
            for (const journal_entry_t& e : entries)
                if (fs::exists(folder / e.temp, ec)) {
                    fs::rename(folder / e.temp, folder / e.target, ec);
                    if (ec) {
                        wxLogError("Could not finish the interrupted save of %s: %s.", recording_path,
                                   wxString(ec.message()));
                        return;  // the journal stays for another try
                    }
                    finished = true;
                }
            if (finished)
                wxLogWarning("The last save of %s was interrupted after its files were written; it has now been "
                             "completed.",
                             recording_path);
        } else {
            wxLogWarning("Ignoring %s: it is not a save journal Kestrane can use.", wxString(journal.string()));
        }
        fs::remove(journal, ec);
        sync_directory_of(journal.string());
    }
    std::vector<std::string> targets{recording.filename().string(), journal.filename().string()};
    for (const wxString& name : image_names)
        if (plain_name(std::string(name.fn_str())))
            targets.emplace_back(name.fn_str());
    remove_leftovers(folder, targets);
}

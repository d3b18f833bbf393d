#include "script_parser.h"

#include <algorithm>
#include <limits>
#include <sys/stat.h>

#include <wx/filename.h>

#include "common/dynabuf.h"
#include "resource_rules.h"
#include "resources/resource_table.h"
#include "script_functions.h"
#include "script_lexer.h"
#include "script_messages.h"
#include "script_results.h"

namespace {

constexpr std::int64_t step_limit = std::numeric_limits<std::int64_t>::max() / 4;

std::int64_t add_steps(std::int64_t a, std::int64_t b)
{
    return std::min(step_limit, a + b);
}

std::int64_t times_steps(std::int64_t a, std::int64_t b)
{
    return b != 0 && a > step_limit / b ? step_limit : a * b;
}

// An optional minus and digits; saturates far beyond any allowed count.
bool parse_count(const wxString& text, long long* out)
{
    wxString digits = text;
    const bool negative = digits.StartsWith("-", &digits);
    if (digits.empty())
        return false;
    long long v = 0;
    for (const wxUniChar c : digits) {
        if (c < '0' || c > '9')
            return false;
        v = std::min<long long>(v * 10 + (c.GetValue() - '0'), 1LL << 40);
    }
    *out = negative ? -v : v;
    return true;
}

bool plain_file_name(const wxString& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (const wxUniChar c : name)
        if (c == '/' || c == ' ' || c == '\t' || c < 32)
            return false;
    return true;
}

// The same file whether or not it exists yet: by device and inode when both
// do, else by their absolute, tidied paths.
bool same_file(const wxString& a, const wxString& b)
{
    struct stat sa {
    }, sb{};
    if (::stat(a.fn_str(), &sa) == 0 && ::stat(b.fn_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    wxFileName fa(a), fb(b);
    fa.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE | wxPATH_NORM_TILDE);
    fb.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE | wxPATH_NORM_TILDE);
    return fa.GetFullPath() == fb.GetFullPath();
}

}  // namespace

bool script_parser_t::error(const wxString& text, int line)
{
    messages_.WriteError(text, line);
    return false;
}

wxString script_parser_t::absolute_file(const wxString& path) const
{
    wxFileName name(path);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE | wxPATH_NORM_TILDE, script_dir_);
    return name.GetFullPath();
}

wxString script_parser_t::absolute_dir(const wxString& path) const
{
    wxFileName name = wxFileName::DirName(path);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE | wxPATH_NORM_TILDE, script_dir_);
    return name.GetPath();
}

bool script_parser_t::parse(const wxString& text, const wxString& script_path, script_plan_t* plan)
{
    *plan = script_plan_t{};
    plan_ = plan;
    script_path_ = script_path;
    script_dir_ = wxFileName::GetCwd();
    if (!script_path.empty())
        script_dir_ = wxFileName(absolute_file(script_path)).GetPath();
    body_started_ = in_block_ = closed_ = false;
    seen_name_ = seen_dir_ = seen_header_ = seen_open_ = false;
    block_line_ = name_line_ = dir_line_ = 0;
    results_dir_given_.clear();

    messages_.WriteMessage("Begin parsing script");
    const std::vector<wxString> lines = split_script_lines(text);
    for (std::size_t i = 0; i < lines.size() && !closed_; ++i) {
        script_command_t c;
        c.line = static_cast<int>(std::min<std::size_t>(i + 1, std::numeric_limits<int>::max()));
        wxString why;
        if (!lex_script_line(lines[i], &c.words, &why))
            return error(why, c.line);
        if (!c.words.empty() && !parse_line(c))
            return false;
    }
    return finish();
}

bool script_parser_t::parse_line(const script_command_t& c)
{
    const wxString& command = c.words.front();
    if (command == "script_name")
        return header_command(c, &seen_name_) && script_name(c);
    if (command == "results_dir")
        return header_command(c, &seen_dir_) && results_dir(c);
    if (command == "write_header")
        return header_command(c, &seen_header_) && write_header(c);
    if (command == "open")
        return header_command(c, &seen_open_) && open(c);
    if (command == "func")
        return func(c);
    if (command == "param")
        return param(c);
    if (command == "write")
        return write(c);
    if (command == "loop")
        return loop(c);
    if (command == "repeat")
        return repeat(c);
    if (command == "end")
        return end(c);
    if (command == "close") {
        closed_ = plan_->closed = true;
        messages_.WriteMessage("Close command has been reached.", c.line);
        return true;
    }
    return error("Command not recognised.", c.line);
}

bool script_parser_t::header_command(const script_command_t& c, bool* seen)
{
    const wxString& command = c.words.front();
    if (*seen)
        return error("Multiple '" + command + "' calls made. Only one supported.", c.line);
    if (body_started_)
        return error(command + " does not preceed the first body command.", c.line);
    *seen = true;
    return true;
}

bool script_parser_t::script_name(const script_command_t& c)
{
    if (c.words.size() < 2)
        return error("Missing name. Format should be 'script_name name'.", c.line);
    if (c.words.size() > 2 || !plain_file_name(c.words[1]))
        return error("The results name must be a plain file name, without folders or blanks.", c.line);
    plan_->results_name = c.words[1];
    name_line_ = c.line;
    return true;
}

bool script_parser_t::results_dir(const script_command_t& c)
{
    if (c.words.size() < 2)
        return error("Missing directory. Format should be 'results_dir directory [sub-directory list]'.", c.line);
    wxString dir = absolute_dir(c.words[1]);
    for (std::size_t i = 2; i < c.words.size(); ++i)
        dir = wxFileName(dir, c.words[i]).GetFullPath();
    results_dir_given_ = absolute_dir(dir);
    dir_line_ = c.line;
    return true;
}

bool script_parser_t::write_header(const script_command_t& c)
{
    if (c.words.size() < 2)
        return error("Missing LABEL. Format should be 'write_header LABEL...'.", c.line);
    for (std::size_t i = 1; i < c.words.size(); ++i) {
        const base_res_t* r = find_script_resource(c.words[i]);
        if (!r)
            return error("Invalid LABEL: " + c.words[i], c.line);
        if (!r->has_text_form())
            return error("Invalid LABEL: " + c.words[i] + " (its value has no text form)", c.line);
        plan_->labels.push_back(r->name());
    }
    return true;
}

bool script_parser_t::function_available(const wxString& name, int line)
{
    const script_function_t* f = functions_.find(name);
    const wxString why =
        f ? functions_.unavailable_reason(*f) : "Function " + name + " is not available in this version.";
    return why.empty() || error(why, line);
}

bool script_parser_t::open(const script_command_t& c)
{
    const wxString format = " Format should be 'open directory [filter] [range]'.";
    if (c.words.size() < 2)
        return error("Missing directory." + format, c.line);
    if (c.words.size() > 4)
        return error("Too many arguments." + format, c.line);
    if (!function_available("FILE_OPEN", c.line) || !function_available("FILE_CLOSE", c.line))
        return false;
    return list_files(overrides_.open_dir.empty() ? absolute_dir(c.words[1]) : overrides_.open_dir,
                      c.words.size() > 2 ? c.words[2] : wxString(), c.words.size() > 3 ? c.words[3] : wxString(),
                      c.line);
}

bool script_parser_t::list_files(const wxString& dir, const wxString& filter, const wxString& range, int line)
{
    if (!wxFileName::DirExists(dir))
        return error("Directory path doesn't exist.", line);
    std::vector<wxString> names;
    wxString why;
    if (!overrides_.listed_dir.empty() && overrides_.listed_dir == dir)
        names = overrides_.listed_names;
    else if (!list_recordings(dir, &names, &why))
        return error(why, line);
    std::vector<script_file_t> files = filter_recordings(dir, names, filter);
    if (!range.empty() && !select_file_range(range, &files))
        return error("Invalid file range: " + range, line);
    if (!overrides_.files.empty() && !select_file_range(overrides_.files, &files))
        return error("Invalid file range: " + overrides_.files, line);
    if (files.empty())
        return error("There are no ks files to process in this directory.", line);
    messages_.WriteMessage(wxString::Format("Parsed %zu ks files:", files.size()), line);
    for (const script_file_t& f : files)
        messages_.WriteMessage(wxString::Format("File %3li - ", f.number) + wxFileName(f.path).GetFullName());
    plan_->files = std::move(files);
    plan_->open_dir = dir;
    return true;
}

void script_parser_t::add_body_command(script_command_t c)
{
    body_started_ = true;
    if (in_block_)
        plan_->body.back().commands.push_back(std::move(c));
    else
        plan_->body.push_back({{std::move(c)}});
}

bool script_parser_t::func(script_command_t c)
{
    if (c.words.size() < 2)
        return error("Missing FUNC_LABEL. Format should be 'FUNC_LABEL args' where args are space separated.", c.line);
    const wxString label = c.words[1];
    const script_function_t* f = functions_.find(label);
    if (!f)
        return error("unsupported function call: " + label, c.line);
    const wxString why = functions_.unavailable_reason(*f);
    if (!why.empty())
        return error(why, c.line);
    const int args = static_cast<int>(std::min<std::size_t>(c.words.size() - 2, 1000));
    if (args < f->min_args)
        return error(" not enough arguments in function: " + label, c.line);
    if (args > f->max_args)
        return error("Too many arguments in function: " + label + " (a name holding blanks needs quotes)", c.line);
    c.words[1] = f->name;
    add_body_command(std::move(c));
    return true;
}

bool script_parser_t::param(script_command_t c)
{
    if (c.words.size() < 2)
        return error("Missing LABEL and value(s). Format should be 'LABEL value(s)'.", c.line);
    if (c.words.size() < 3)
        return error("Missing value(s). Format should be 'LABEL value(s)'.", c.line);
    const base_res_t* r = find_script_resource(c.words[1]);
    if (!r)
        return error(c.words[1] + " is invalid: it does not match any existing LABEL.", c.line);
    const wxString refusal = param_refusal(*r);
    if (!refusal.empty())
        return error(refusal, c.line);
    c.words[1] = r->name();
    add_body_command(std::move(c));
    return true;
}

bool script_parser_t::write(const script_command_t& c)
{
    if (c.words.size() != 2)
        return error("The '" + c.words.front() + "' command should be followed by a single tag for this write.",
                     c.line);
    add_body_command(c);
    return true;
}

bool script_parser_t::loop(script_command_t c)
{
    if (in_block_)
        return error("Nested loops or repeats are not supported.", c.line);
    if (c.words.size() > 2)
        return error("Too many filters included: should only be one.", c.line);
    if (!function_available("CURRENT_OBJECT", c.line) || !function_available("THICKNESS_SURFACE", c.line))
        return false;
    if (c.words.size() < 2)
        c.words.push_back("*");
    add_body_command(std::move(c));
    in_block_ = true;
    block_line_ = plan_->body.back().commands.front().line;
    return true;
}

bool script_parser_t::repeat(const script_command_t& c)
{
    if (in_block_)
        return error("Nested loops or repeats are not supported.", c.line);
    if (c.words.size() < 2)
        return error("Repeat must have a numerical argument.", c.line);
    if (c.words.size() > 2)
        return error("Too many repeat arguments: should only be one.", c.line);
    long long count = 0;
    if (!parse_count(c.words[1], &count))
        return error("Repeat must have a numerical argument.", c.line);
    if (count < 0 || count > max_repeat)
        return error(wxString::Format("Repeat count must be from 0 to %ld.", max_repeat), c.line);
    add_body_command(c);
    in_block_ = true;
    block_line_ = c.line;
    return true;
}

bool script_parser_t::end(const script_command_t& c)
{
    if (!in_block_)
        return error("End command is not at end of loop or repeat.", c.line);
    in_block_ = false;
    return true;
}

bool script_parser_t::finish()
{
    if (in_block_)
        return error("Loops is missing an 'end'.", block_line_);
    if (plan_->body.empty())
        return error("There is nothing in this script to run.", 0);
    // A folder named on the command line stands for an 'open' the script does not have.
    if (!seen_open_ && !overrides_.open_dir.empty() &&
        !(function_available("FILE_OPEN", 0) && function_available("FILE_CLOSE", 0) &&
          list_files(overrides_.open_dir, {}, {}, 0)))
        return false;
    if (!overrides_.results_dir.empty())
        results_dir_given_ = overrides_.results_dir;

    for (const script_block_t& block : plan_->body) {
        std::int64_t funcs = 0;
        for (const script_command_t& c : block.commands)
            funcs += c.words.front() == "func";
        if (block.kind() == "loop")
            funcs = add_steps(funcs, 2);
        else if (block.kind() == "repeat")
            funcs = times_steps(funcs, std::stoll(block.commands.front().words[1].ToStdString()));
        plan_->steps_per_file = add_steps(plan_->steps_per_file, funcs);
    }

    // Results beside the script unless a folder is named: never in the
    // program's working folder, never under a placeholder name.
    if (results_dir_given_.empty() && plan_->open_dir.empty() && script_path_.empty())
        return error("The results folder is not known: name it with 'results_dir', or save the script first.", 0);
    plan_->results_dir = !results_dir_given_.empty() ? results_dir_given_
                         : !plan_->open_dir.empty()  ? plan_->open_dir
                                                     : script_dir_;
    if (plan_->results_name.empty())
        plan_->results_name =
            (script_path_.empty() ? wxString("script") : wxFileName(script_path_).GetName()) + "_results";
    plan_->part = !overrides_.part_name.empty();
    plan_->table_name = plan_->part ? overrides_.part_name : plan_->results_name;
    if (!wxFileName::DirExists(plan_->results_dir))
        return error("Results directory doesn't exist: " + plan_->results_dir, dir_line_);
    if (!results_safe())
        return false;
    if (!closed_)
        messages_.WriteMessage("Parsing completed.");
    return true;
}

bool script_parser_t::results_safe()
{
    const wxString outputs[] = {script_results_t::table_path(plan_->results_dir, plan_->table_name),
                                script_results_t::log_path(plan_->results_dir, plan_->table_name)};
    std::vector<std::pair<wxString, wxString>> inputs;  // what, path
    if (!script_path_.empty())
        inputs.emplace_back("the script", absolute_file(script_path_));
    for (const script_file_t& f : plan_->files)
        inputs.emplace_back("a recording", f.path);
    if (plan_->files.empty() && res && bufp && bufp->frames() > 0) {
        const wxFileName open = res->RES_ASCII_FILENAME->value();
        inputs.emplace_back("the open recording", open.GetFullPath());
        inputs.emplace_back("the open recording's image data",
                            wxFileName(open.GetPath(), res->RES_BIN_IM_FILENAME->value()).GetFullPath());
    }
    for (const wxString& out : outputs)
        for (const auto& [what, path] : inputs)
            if (same_file(out, path))
                return error("The results file " + out + " would overwrite " + what +
                                 ": choose another "
                                 "'script_name' or 'results_dir'.",
                             name_line_ ? name_line_ : dir_line_);
    return true;
}

// The .zsq reader. Parsing goes on after an error so that one pass reports
// every line in error; steps are counted arithmetically as the blocks close,
// so the cost never depends on the repeat counts.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include "devices/cmd_sequence.h"

namespace {

constexpr std::size_t max_errors_kept = 1000;
constexpr long max_steps = std::numeric_limits<long>::max();

struct word_info_t {
    std::string_view word;
    cmd_kind_t kind;
    int values;
};

constexpr word_info_t command_words[] = {
    {"home", cmd_kind_t::home, 0},     {"home_x", cmd_kind_t::home_x, 0},
    {"home_y", cmd_kind_t::home_y, 0}, {"home_z", cmd_kind_t::home_z, 0},
    {"stop", cmd_kind_t::stop, 0},     {"move", cmd_kind_t::move, 3},
    {"move_x", cmd_kind_t::move_x, 1}, {"move_y", cmd_kind_t::move_y, 1},
    {"move_z", cmd_kind_t::move_z, 1}, {"step", cmd_kind_t::step, 3},
    {"step_x", cmd_kind_t::step_x, 1}, {"step_y", cmd_kind_t::step_y, 1},
    {"step_z", cmd_kind_t::step_z, 1}, {"pause", cmd_kind_t::pause, 0},
    {"repeat", cmd_kind_t::repeat, 1}, {"repeat_end", cmd_kind_t::repeat_end, 0},
};

constexpr std::string_view begin_main = "BEGIN_MAIN";
constexpr std::string_view end_main = "END_MAIN";
constexpr std::string_view begin_multi = "BEGIN_MULTI_COMMAND";
constexpr std::string_view end_multi = "END_MULTI_COMMAND";

// Looked up by length first: every line passes through here.
const word_info_t* find_command(std::string_view word)
{
    if (word.size() < 4 || word.size() > 10)
        return nullptr;
    for (const word_info_t& w : command_words)
        if (w.word.size() == word.size() && w.word[0] == word[0] && w.word == word)
            return &w;
    return nullptr;
}

bool is_block_word(std::string_view w)
{
    return w == begin_main || w == end_main || w == begin_multi || w == end_multi;
}

bool is_separator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The words of a line; more than max are counted but not kept.
struct words_t {
    static constexpr int max = 5;
    std::array<std::string_view, max> word;
    int count = 0;
};

void split_words(std::string_view line, words_t* out)
{
    out->count = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_separator(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !is_separator(line[i]))
            ++i;
        if (i > start) {
            if (out->count < words_t::max)
                out->word[static_cast<std::size_t>(out->count)] = line.substr(start, i - start);
            ++out->count;
        }
    }
}

// Finite only: "nan" and "inf" parse as numbers yet are no place to move to.
bool parse_value(std::string_view text, double* out)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, *out);
    return ec == std::errc() && ptr == end && std::isfinite(*out);
}

// Digits only, 1 to 2^32 - 1: "0" would run once and "-1" wrap to billions.
bool parse_count(std::string_view text, std::uint32_t* out)
{
    if (text.empty() || text.size() > 10)
        return false;
    std::uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v < 1 || v > std::numeric_limits<std::uint32_t>::max())
        return false;
    *out = static_cast<std::uint32_t>(v);
    return true;
}

long saturating_add(long a, long b)
{
    return a > max_steps - b ? max_steps : a + b;
}

long saturating_mul(long a, std::uint32_t n)
{
    if (a == 0 || n == 0)
        return 0;
    return a > max_steps / static_cast<long>(n) ? max_steps : a * static_cast<long>(n);
}

class zsq_parser_t {
public:
    explicit zsq_parser_t(std::vector<zsq_error_t>* errors) : errors_(errors) {}

    bool parse(std::string_view text, cmd_program_t* out);

private:
    // A repeat block being read, or the whole list at the bottom.
    struct open_loop_t {
        std::uint32_t count = 1;
        std::size_t repeat_index = 0;
        long pauses = 0;
        bool acts = false;
    };

    void line(std::string_view text);
    void outside_block(const words_t& w);
    void inside_block(const words_t& w);
    void close_block(const words_t& w);
    void command(const words_t& w);
    void close_loop();
    void error(const char* reason);

    std::vector<zsq_error_t>* errors_;
    cmd_program_t program_;
    struct name_hash_t {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    // Keys view the names in program_.lists, which never move.
    std::unordered_map<std::string_view, std::uint32_t, name_hash_t> multi_names_;
    long line_ = 0;
    long last_error_line_ = 0;
    bool in_block_ = false;
    bool in_main_ = false;
    bool have_main_ = false;
    cmd_program_t::list_t block_;
    std::vector<open_loop_t> loops_;
};

void zsq_parser_t::error(const char* reason)
{
    last_error_line_ = line_;
    if (errors_ && errors_->size() < max_errors_kept)
        errors_->push_back({line_, reason});
}

bool zsq_parser_t::parse(std::string_view text, cmd_program_t* out)
{
    program_.lists.resize(1);  // the main list, filled when its block closes
    // One item a line at most: no list ever grows by copying.
    program_.items.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    multi_names_.reserve(64);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        ++line_;
        line(text.substr(at, end - at));
        at = end + 1;
    }
    line_ = std::max(line_, 1L);
    if (in_block_)
        error("the block is not closed at the end of the file");
    else if (!have_main_)
        error("the file has no BEGIN_MAIN block");
    if (last_error_line_ != 0)
        return false;
    *out = std::move(program_);
    return true;
}

void zsq_parser_t::line(std::string_view text)
{
    words_t w;
    split_words(text, &w);
    if (w.count == 0)
        return;
    if (in_block_)
        inside_block(w);
    else
        outside_block(w);
}

void zsq_parser_t::outside_block(const words_t& w)
{
    const std::string_view first = w.word[0];
    if (first == begin_main) {
        if (w.count != 1)
            error("BEGIN_MAIN takes no values");
        if (have_main_)
            error("a second BEGIN_MAIN block");
        in_main_ = true;
    }
    std::string name;
    if (first == begin_multi) {
        if (w.count != 2)
            error("BEGIN_MULTI_COMMAND needs exactly one name");
        else if (find_command(w.word[1]) || is_block_word(w.word[1]))
            error("a multi-command cannot take the name of a command");
        else if (multi_names_.contains(w.word[1]))
            error("a multi-command of this name is already defined");
        else
            name = std::string(w.word[1]);
        in_main_ = false;
    } else if (first != begin_main) {
        error("only BEGIN_MAIN or BEGIN_MULTI_COMMAND may stand outside a block");
        return;
    }
    in_block_ = true;
    block_ = {};
    block_.name = std::move(name);
    block_.first = program_.items.size();
    loops_.assign(1, open_loop_t{});
}

void zsq_parser_t::inside_block(const words_t& w)
{
    const std::string_view first = w.word[0];
    if (first == end_main || first == end_multi) {
        if ((first == end_main) != in_main_)
            error(in_main_ ? "END_MULTI_COMMAND closes a BEGIN_MAIN block" : "END_MAIN closes a multi-command");
        else
            close_block(w);
    } else if (first == begin_main || first == begin_multi) {
        error("a block cannot open inside another");
    } else {
        command(w);
    }
}

void zsq_parser_t::close_block(const words_t& w)
{
    if (w.count != 1)
        error("a block's end takes no values");
    if (loops_.size() != 1)
        error("more repeat than repeat_end lines in the block");
    const open_loop_t& whole = loops_.front();
    block_.end = program_.items.size();
    block_.pauses = whole.pauses;
    block_.acts = whole.acts;
    in_block_ = false;
    if (in_main_) {
        if (!have_main_)
            program_.lists[0] = std::move(block_);
        have_main_ = true;
        return;
    }
    // Known only from here on, so a multi-command can never call itself.
    if (!block_.name.empty()) {
        program_.lists.push_back(std::move(block_));
        multi_names_.emplace(program_.lists.back().name, static_cast<std::uint32_t>(program_.lists.size() - 1));
    }
}

void zsq_parser_t::command(const words_t& w)
{
    const std::string_view word = w.word[0];
    cmdItem item;
    const word_info_t* info = find_command(word);
    if (!info) {
        const auto multi = multi_names_.find(word);
        if (multi == multi_names_.end()) {
            error("neither a command nor a multi-command defined above");
            return;
        }
        if (w.count != 1) {
            error("a multi-command takes no values");
            return;
        }
        const cmd_program_t::list_t& called = program_.lists[multi->second];
        loops_.back().pauses = saturating_add(loops_.back().pauses, called.pauses);
        loops_.back().acts = loops_.back().acts || called.acts;
        item.kind = cmd_kind_t::call;
        item.target = multi->second;
        item.command = called.name;
        program_.items.push_back(item);
        return;
    }
    if (w.count - 1 != info->values) {
        error("wrong number of values");
        return;
    }
    item.kind = info->kind;
    item.command = info->word;
    std::uint32_t count = 0;
    if (info->kind == cmd_kind_t::repeat) {
        if (!parse_count(w.word[1], &count)) {
            // The block still opens, so that its repeat_end is not a second error.
            error("repeat needs a whole number from 1 to 4294967295");
            count = 1;
        }
        item.values[0] = static_cast<double>(count);
    } else {
        for (int i = 0; i < info->values; ++i)
            if (!parse_value(w.word[static_cast<std::size_t>(i) + 1], &item.values[static_cast<std::size_t>(i)])) {
                error("a value is not a finite number");
                return;
            }
    }
    if (info->kind == cmd_kind_t::repeat_end && loops_.size() < 2) {
        error("repeat_end without its repeat");
        return;
    }
    program_.items.push_back(item);
    const std::size_t index = program_.items.size() - 1;
    switch (info->kind) {
        case cmd_kind_t::repeat:
            loops_.push_back({count, index, 0, false});
            break;
        case cmd_kind_t::repeat_end:
            close_loop();
            break;
        case cmd_kind_t::pause:
            loops_.back().pauses = saturating_add(loops_.back().pauses, 1);
            loops_.back().acts = true;
            break;
        default:
            loops_.back().acts = true;
            break;
    }
}

void zsq_parser_t::close_loop()
{
    const open_loop_t loop = loops_.back();
    loops_.pop_back();
    const std::size_t end_index = program_.items.size() - 1;
    cmdItem& repeat = program_.items[loop.repeat_index];
    repeat.target = static_cast<std::uint32_t>(end_index);
    repeat.body_acts = loop.acts;
    open_loop_t& outer = loops_.back();
    outer.pauses = saturating_add(outer.pauses, saturating_mul(loop.pauses, loop.count));
    outer.acts = outer.acts || loop.acts;
}

}  // namespace

bool parse_zsq(std::string_view text, cmd_program_t* out, std::vector<zsq_error_t>* errors)
{
    zsq_parser_t parser(errors);
    return parser.parse(text, out);
}

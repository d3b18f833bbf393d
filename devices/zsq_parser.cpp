// The .zsq reader. Parsing goes on after an error so that one pass reports
// every line in error; steps are counted arithmetically as the blocks close,
// so the cost never depends on the repeat counts.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

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

// Every line passes through here: the few words of the word's length are
// told apart by a letter or two before the one comparison.
const word_info_t* find_command(std::string_view word)
{
    const auto is = [&](std::size_t i) -> const word_info_t* {
        return command_words[i].word == word ? &command_words[i] : nullptr;
    };
    switch (word.size()) {
        case 4:  // home, stop, move, step
            switch (word[0]) {
                case 'h':
                    return is(0);
                case 'm':
                    return is(5);
                case 's':
                    return word[2] == 'o' ? is(4) : is(9);
                default:
                    return nullptr;
            }
        case 5:
            return is(13);  // pause
        case 6: {           // home_x ... step_z, or repeat
            if (word[4] != '_')
                return is(14);
            const auto axis = static_cast<std::size_t>(static_cast<unsigned char>(word[5]) - 'x');
            if (axis > 2)
                return nullptr;
            switch (word[0]) {
                case 'h':
                    return is(1 + axis);
                case 'm':
                    return is(6 + axis);
                case 's':
                    return is(10 + axis);
                default:
                    return nullptr;
            }
        }
        case 10:
            return is(15);  // repeat_end
        default:
            return nullptr;
    }
}

bool is_block_word(std::string_view w)
{
    return w == begin_main || w == end_main || w == begin_multi || w == end_multi;
}

// Blank, tab, carriage return and line feed: one look-up per character.
constexpr std::array<bool, 256> separators = [] {
    std::array<bool, 256> t{};
    for (const unsigned char c : {' ', '\t', '\r', '\n'})
        t[c] = true;
    return t;
}();

bool is_separator(char c)
{
    return separators[static_cast<unsigned char>(c)];
}

bool is_blank(char c)
{
    return c != '\n' && is_separator(c);
}

// The words of a line; more than max are counted but not kept.
struct words_t {
    static constexpr int max = 5;
    std::array<std::string_view, max> word;
    int count = 0;
};

// Reads the words of the line at p and moves p past its end: one pass over
// the characters, the line's end found on the way.
void read_line_words(const char*& p, const char* const end, words_t* out)
{
    out->count = 0;
    for (;;) {
        while (p != end && is_blank(*p))
            ++p;
        if (p == end || *p == '\n')
            break;
        const char* const start = p;
        while (p != end && !is_separator(*p))
            ++p;
        if (out->count < words_t::max)
            out->word[static_cast<std::size_t>(out->count)] =
                std::string_view(start, static_cast<std::size_t>(p - start));
        ++out->count;
    }
    if (p != end)
        ++p;  // the line feed
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

// Multi-command names to their list, open addressing over one flat array
// with the names copied side by side: a call is looked up on every line that
// is not a command, and a node-based map's scattered nodes made each lookup a
// cache miss.
class name_table_t {
public:
    static constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();

    name_table_t() { slots_.resize(64); }

    std::uint32_t find(std::string_view name) const
    {
        const std::uint64_t h = hash(name);
        const auto tag = static_cast<std::uint32_t>(h >> 32);
        for (std::size_t i = h & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
            const slot_t& s = slots_[i];
            if (s.list == none)
                return none;
            if (s.tag == tag && spelled(s.list) == name)
                return s.list;
        }
    }
    void add(std::string_view name, std::uint32_t list)
    {
        if (2 * (used_ + 1) > slots_.size())
            grow();
        if (spans_.size() <= list)
            spans_.resize(static_cast<std::size_t>(list) + 1);
        spans_[list] = {static_cast<std::uint32_t>(names_.size()), static_cast<std::uint32_t>(name.size())};
        names_.append(name);
        place(hash(name), list);
        ++used_;
    }

private:
    // Eight bytes a slot, so that the table stays in the cache; the names
    // themselves are read only when the tag matches.
    struct slot_t {
        std::uint32_t tag = 0;
        std::uint32_t list = none;
    };
    std::string_view spelled(std::uint32_t list) const
    {
        return std::string_view(names_).substr(spans_[list].first, spans_[list].second);
    }
    static std::uint64_t hash(std::string_view s)
    {
        std::uint64_t h = 1469598103934665603ull;  // FNV-1a: names are short
        for (const char c : s)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        return h ^ (h >> 29);
    }
    void place(std::uint64_t h, std::uint32_t list)
    {
        std::size_t i = h & (slots_.size() - 1);
        while (slots_[i].list != none)
            i = (i + 1) & (slots_.size() - 1);
        slots_[i] = {static_cast<std::uint32_t>(h >> 32), list};
    }
    void grow()
    {
        const std::vector<slot_t> old = std::exchange(slots_, std::vector<slot_t>(slots_.size() * 2));
        for (const slot_t& s : old)
            if (s.list != none)
                place(hash(spelled(s.list)), s.list);
    }

    std::vector<slot_t> slots_;
    std::string names_;                                           // every name, one after another
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans_;  // each list's name in names_
    std::size_t used_ = 0;
};

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

    void line(const words_t& w);
    void outside_block(const words_t& w);
    void inside_block(const words_t& w);
    void close_block(const words_t& w);
    void command(const words_t& w);
    void close_loop();
    void error(const char* reason);

    std::vector<zsq_error_t>* errors_;
    cmd_program_t program_;
    name_table_t multi_names_;
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
    // Room for a command every 8 bytes, more than usual lines need; beyond it
    // the list grows (items are plain data, cheap to move), which costs less
    // than counting the lines first.
    program_.items.reserve(text.size() / 8 + 16);
    const char* p = text.data();
    const char* const end = p + text.size();
    words_t w;
    while (p != end) {
        ++line_;
        read_line_words(p, end, &w);
        line(w);
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

void zsq_parser_t::line(const words_t& w)
{
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
        else if (multi_names_.find(w.word[1]) != name_table_t::none)
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
        multi_names_.add(program_.lists.back().name, static_cast<std::uint32_t>(program_.lists.size() - 1));
    }
}

void zsq_parser_t::command(const words_t& w)
{
    const std::string_view word = w.word[0];
    cmdItem item;
    const word_info_t* info = find_command(word);
    if (!info) {
        const std::uint32_t multi = multi_names_.find(word);
        if (multi == name_table_t::none) {
            error("neither a command nor a multi-command defined above");
            return;
        }
        if (w.count != 1) {
            error("a multi-command takes no values");
            return;
        }
        const cmd_program_t::list_t& called = program_.lists[multi];
        loops_.back().pauses = saturating_add(loops_.back().pauses, called.pauses);
        loops_.back().acts = loops_.back().acts || called.acts;
        item.kind = cmd_kind_t::call;
        item.target = multi;
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

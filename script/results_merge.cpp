#include "results_merge.h"

#include <algorithm>
#include <charconv>

bool split_table_records(const std::string& text, std::vector<std::string>* records)
{
    records->clear();
    std::string record;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;  // a doubled quote toggles twice: still inside
        if (c == '\n' && !quoted) {
            records->push_back(std::move(record));
            record.clear();
            continue;
        }
        record += c;
    }
    if (quoted)
        return false;
    if (!record.empty())
        records->push_back(std::move(record));
    return true;
}

bool merge_result_tables(const std::vector<std::string>& parts, std::string* merged, std::string* why)
{
    struct row_t {
        long number;
        std::size_t part, order;
        std::string text;
    };
    std::vector<row_t> rows;
    std::string header;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        std::vector<std::string> records;
        if (!split_table_records(parts[p], &records) || records.empty()) {
            *why = "part " + std::to_string(p + 1) + " is not a results table";
            return false;
        }
        if (p == 0)
            header = records.front();
        else if (records.front() != header) {
            *why = "part " + std::to_string(p + 1) + " has another header than part 1";
            return false;
        }
        for (std::size_t r = 1; r < records.size(); ++r) {
            const std::string& text = records[r];
            long number = 0;
            const auto comma = text.find(',');
            const auto [end, error] = std::from_chars(text.data(), text.data() + std::min(comma, text.size()), number);
            if (error != std::errc() || end != text.data() + std::min(comma, text.size()) || number < 0) {
                *why = "part " + std::to_string(p + 1) + " row " + std::to_string(r) + " has no file number";
                return false;
            }
            rows.push_back({number, p, r, text});
        }
    }
    // File-number order; within a file the order the parts and their rows came in.
    std::stable_sort(rows.begin(), rows.end(), [](const row_t& a, const row_t& b) { return a.number < b.number; });
    *merged = header + "\n";
    for (const row_t& r : rows)
        *merged += r.text + "\n";
    return true;
}

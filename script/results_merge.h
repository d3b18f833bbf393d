// Merging the part tables of one script run split over many tasks (one
// recording each, or a range): one table as a single run would have written
// it, rows in file-number order and, within a file, in written order.
#pragma once

#include <string>
#include <vector>

// The records of a table's text: lines, except that a line break inside a
// quoted field belongs to its record. Each record keeps its text as written,
// without the line break that ends it. False for a quote left open.
bool split_table_records(const std::string& text, std::vector<std::string>* records);

// The merged table of `parts` (each a table's text): every part must have
// the first part's header; a part with a header only adds nothing. Rows
// whose first field is not a file number are refused. False with *why.
bool merge_result_tables(const std::vector<std::string>& parts, std::string* merged, std::string* why);

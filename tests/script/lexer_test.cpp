// Script lines into words: the language's only tokeniser, so every command's
// arguments depend on it treating comments, blanks and quotes as documented.
#include <gtest/gtest.h>

#include "script/script_lexer.h"

namespace {

struct words_case_t {
    const char* line;
    std::vector<wxString> words;
};

// Comments, tabs, carriage returns and surrounding blanks must never leak into a word.
TEST(ScriptLexer, SplitsLinesIntoWords)
{
    const words_case_t cases[] = {
        {"", {}},
        {"   \t  ", {}},
        {"# only a comment", {}},
        {"func FILE_OPEN a.ks", {"func", "FILE_OPEN", "a.ks"}},
        {"\tfunc\tFILE_OPEN\t a.ks \r", {"func", "FILE_OPEN", "a.ks"}},
        {"param RES_XSCALE 0.02 # pixel width", {"param", "RES_XSCALE", "0.02"}},
        {"write tag#not part", {"write", "tag"}},
        {"func FILE_OPEN \"/data/my file.ks\"", {"func", "FILE_OPEN", "/data/my file.ks"}},
        {"write \"\"", {"write", ""}},
        {"\"quoted command\" x", {"quoted command", "x"}},
        {"a  \"b c\"\t\"d\"", {"a", "b c", "d"}},
    };
    for (const words_case_t& c : cases) {
        std::vector<wxString> words;
        wxString error;
        EXPECT_TRUE(lex_script_line(c.line, &words, &error)) << c.line << ": " << error;
        EXPECT_EQ(words, c.words) << c.line;
    }
}

struct error_case_t {
    const char* line;
    const char* error;
};

// A quote out of place is an error naming the command and the word, never a
// silently different argument.
TEST(ScriptLexer, RefusesMisplacedAndUnterminatedQuotes)
{
    const error_case_t cases[] = {
        {"repeat \"3\"3", "Internal quote in repeat: \"3\"3"},
        {"repeat 3\"", "Internal quote in repeat: 3\""},
        {"func FILE_OPEN a\"b.ks", "Internal quote in func: a\"b.ks"},
        {"func FILE_OPEN \"a\"b\"", "Internal quote in func: \"a\"b\""},
        {"ab\"c d", "Internal quote in ab\"c: ab\"c"},
        {"func FILE_OPEN \"/data/my file.ks", "Missing closing quote in func: \"/data/my file.ks"},
        {"\"open", "Missing closing quote in \"open: \"open"},
        // The comment starts at '#', even inside quotes, so this quote is left open.
        {"write \"a#b\"", "Missing closing quote in write: \"a"},
    };
    for (const error_case_t& c : cases) {
        std::vector<wxString> words;
        wxString error;
        EXPECT_FALSE(lex_script_line(c.line, &words, &error)) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }
}

// Line numbers in messages count from the text's line feeds.
TEST(ScriptLexer, SplitsTextAtLineFeeds)
{
    EXPECT_EQ(split_script_lines("a\nb\r\n\nc"), (std::vector<wxString>{"a", "b\r", "", "c"}));
    EXPECT_EQ(split_script_lines("a\n"), (std::vector<wxString>{"a"}));
    EXPECT_TRUE(split_script_lines("").empty());
}

}  // namespace

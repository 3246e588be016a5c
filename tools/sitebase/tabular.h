// The one reader and writer of tabular files of the host, and its one way of printing lists.
//
// Reading: the delimiter is detected (comma, tab, semicolon, or runs of blanks) or given; a
// header row is detected (its first row has a text where the next row has a number) or given;
// fields may be quoted ("a, b" and "say ""hi"""); a UTF-8 byte-order mark and CRLF line ends are
// taken off; blank lines and lines starting with '#' are left out. Every line a command skips is
// reported with its line number and reason through a SkipReport (the first 20, then a count).
//
// Writing: CSV with a header row, fields quoted where they hold the delimiter, a quote or a line
// end. Printing: one table, in the user's choice of aligned columns, CSV or JSON.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

enum class HeaderRule { Detect, Yes, No };

struct TabularOptions {
    char delimiter = 0;   // 0: detect; ' ' means runs of blanks and tabs
    HeaderRule header = HeaderRule::Detect;
};

struct TabularRow {
    long line = 0;                     // 1-based line number in the file
    std::vector<std::string> fields;   // unquoted, blanks around unquoted fields trimmed
    std::string problem;               // why the line cannot be split (an unterminated quote)
};

struct TabularFile {
    std::string path;
    char delimiter = ',';
    std::vector<std::string> header;   // the header row's names; empty when there is none
    std::vector<TabularRow> rows;      // the data rows
    std::int64_t bytes = 0;            // the file's length
};

// The options --delimiter and --header of a command that reads a file.
void addTabularOptions(CLI::App* command, TabularOptions& options);
// Reads the whole file; false after saying why ("Unable to read F: reason").
bool readTabular(const std::string& path, const TabularOptions& options, TabularFile& file);
// The delimiter's name for messages: "comma", "tab", "semicolon", "blanks".
const char* delimiterName(char delimiter);
// The column of a header name (compared without case), -1 when the header has none of them.
int headerColumn(const std::vector<std::string>& header, const std::vector<const char*>& names);

// Reports skipped lines on standard error as "FILE:LINE: reason": the first 20, then how many
// more there were.
class SkipReport {
public:
    explicit SkipReport(std::string path) : path_(std::move(path)) {}
    void skip(long line, const std::string& reason);
    // Prints the count of lines not shown; call once at the end.
    void finish() const;
    long count() const { return count_; }

private:
    std::string path_;
    long count_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Writing and printing

enum class OutputFormat { Table, Csv, Json };

// A list to print or write: named columns, rows of texts (UTF-8). A numeric column is
// right-aligned in a table and written as a JSON number when its text is a number.
struct OutputTable {
    struct Column {
        std::string name;
        bool numeric = false;
    };
    std::vector<Column> columns;
    std::vector<std::vector<std::string>> rows;

    OutputTable& column(const std::string& name, bool numeric = false);
    OutputTable& row(std::vector<std::string> cells);
};

// The program's option --format table|csv|json (main adds it; every list and show command
// prints through it) and the format it chose.
void addFormatOption(CLI::App& app);
OutputFormat outputFormat();
// Prints the list to standard output in the chosen format.
void printOutput(const OutputTable& table, OutputFormat format = outputFormat());
// A report of named items (what a show command prints): "Item:  value" lines in a table, and in
// CSV or JSON a list with the columns item and value, so that scripts read it as they read lists.
using Report = std::vector<std::pair<std::string, std::string>>;
void printReport(const Report& report, OutputFormat format = outputFormat());
// Writes the list as a CSV file with a header row, through a temporary file and a rename; false
// after saying why.
bool writeCsvFile(const std::string& path, const OutputTable& table);
// A number as the lists print it: fixed with the decimals given.
std::string fixed(double value, int decimals = 3);
// The field quoted for CSV where it must be.
std::string csvField(const std::string& text, char delimiter = ',');

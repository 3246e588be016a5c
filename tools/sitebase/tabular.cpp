#include "tabular.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "host.h"
#include "platform/core.h"

namespace {

constexpr int kSkipsShown = 20;

std::string trim(const std::string& text) {
    const std::size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    return text.substr(a, text.find_last_not_of(" \t") - a + 1);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Splits one line. Quoted fields keep their blanks and delimiters; a doubled quote inside one is
// a quote. False on an unterminated quote.
bool splitLine(const std::string& line, char delimiter, std::vector<std::string>& out) {
    out.clear();
    const bool blanks = delimiter == ' ';
    std::size_t i = 0;
    const std::size_t n = line.size();
    const auto isDelimiter = [&](char c) { return blanks ? (c == ' ' || c == '\t') : c == delimiter; };
    if (blanks)
        while (i < n && isDelimiter(line[i])) ++i;
    while (true) {
        std::string field;
        while (i < n && (line[i] == ' ' || line[i] == '\t') && !isDelimiter(line[i])) ++i;
        if (i < n && line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                field += line[i++];
            }
            if (!closed) return false;
            // Anything between the closing quote and the delimiter is kept (trimmed).
            std::string rest;
            while (i < n && !isDelimiter(line[i])) rest += line[i++];
            field += trim(rest);
        } else {
            while (i < n && !isDelimiter(line[i])) field += line[i++];
            field = trim(field);
        }
        out.push_back(field);
        if (i >= n) break;
        ++i;   // the delimiter
        if (blanks) {
            while (i < n && isDelimiter(line[i])) ++i;
            if (i >= n) break;
        }
    }
    return true;
}

// Occurrences of the character outside quotes.
int countOutsideQuotes(const std::string& line, char c) {
    int count = 0;
    bool quoted = false;
    for (char ch : line) {
        if (ch == '"') quoted = !quoted;
        else if (ch == c && !quoted) ++count;
    }
    return count;
}

// The delimiter found on the most of the first lines (then the most often); blanks when none
// is. Most, not all: a damaged line (an unclosed quote) must not change how the rest are read.
char detectDelimiter(const std::vector<std::string>& sample) {
    char best = ' ';
    int bestLines = 0, bestCount = 0;
    for (char c : {',', '\t', ';'}) {
        int lines = 0, count = 0;
        for (const std::string& line : sample) {
            const int k = countOutsideQuotes(line, c);
            lines += k > 0;
            count += k;
        }
        if (lines > bestLines || (lines == bestLines && count > bestCount)) {
            best = c;
            bestLines = lines;
            bestCount = count;
        }
    }
    return bestLines > 0 ? best : ' ';
}

bool isNumber(const std::string& text) {
    double value = 0.0;
    return !text.empty() && parseReal(text, value);
}

// A first row is a header when it has a text where the second row has a number; a file of one
// row, when none of its fields is a number.
bool looksLikeHeader(const std::vector<std::string>& first, const std::vector<std::string>* second) {
    if (!second) return std::none_of(first.begin(), first.end(), isNumber);
    for (std::size_t i = 0; i < first.size(); ++i)
        if (i < second->size() && isNumber((*second)[i]) && !first[i].empty() && !isNumber(first[i])) return true;
    return false;
}

// A number as JSON writes one: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?. Others ("007",
// "+1", "5.") go out as strings.
bool jsonNumber(const std::string& t) {
    std::size_t i = t.size() > 0 && t[0] == '-' ? 1 : 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        return i - from;
    };
    const std::size_t whole = i;
    if (digits() == 0 || (t[whole] == '0' && i - whole > 1)) return false;
    if (i < t.size() && t[i] == '.' && (++i, digits() == 0)) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == t.size();
}

OutputFormat& formatSetting() {
    static OutputFormat format = OutputFormat::Table;
    return format;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string csvLine(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) line += (i ? "," : "") + csvField(cells[i]);
    return line;
}

}  // namespace

void addTabularOptions(CLI::App* command, TabularOptions& options) {
    static const std::map<std::string, char> delimiters = {
        {"comma", ','}, {"tab", '\t'}, {"semicolon", ';'}, {"blanks", ' '}};
    command->add_option("--delimiter", options.delimiter, "comma, tab, semicolon or blanks (default: detected)")
        ->transform(CLI::CheckedTransformer(delimiters, CLI::ignore_case));
    static const std::map<std::string, HeaderRule> headers = {
        {"detect", HeaderRule::Detect}, {"yes", HeaderRule::Yes}, {"no", HeaderRule::No}};
    command->add_option("--header", options.header, "Whether the first row names the columns: detect, yes, no (default detect)")
        ->transform(CLI::CheckedTransformer(headers, CLI::ignore_case));
}

const char* delimiterName(char delimiter) {
    switch (delimiter) {
    case ',': return "comma";
    case '\t': return "tab";
    case ';': return "semicolon";
    default: return "blanks";
    }
}

bool readTabular(const std::string& path, const TabularOptions& options, TabularFile& file) {
    file = TabularFile{};
    file.path = path;
    coreFileClearError();
    FILE* in = coreFileExist(path.c_str()) ? coreFileOpen(path.c_str(), "rb") : nullptr;
    if (!in) {
        std::fprintf(stderr, "Unable to read %s: %s\n", path.c_str(),
                     coreFolderExist(path.c_str()) ? "it is a folder"
                     : coreFileLastError()        ? coreFileLastErrorText()
                                                  : "No such file");
        return false;
    }
    file.bytes = coreFileLength(in);
    std::string text(static_cast<std::size_t>(std::max<std::int64_t>(file.bytes, 0)), '\0');
    const bool read = file.bytes >= 0 && coreFileBinRead(text.data(), text.size(), in);
    coreFileClose(in);
    if (!read) {
        std::fprintf(stderr, "%s\n", coreFileErrorText("read", path.c_str()).c_str());
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

    // The lines worth reading, with their numbers.
    std::vector<std::pair<long, std::string>> lines;
    long number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ++number;
        start = end + 1;
        const std::string trimmed = trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        lines.emplace_back(number, std::move(line));
    }

    std::vector<std::string> sample;
    for (std::size_t i = 0; i < lines.size() && i < 20; ++i) sample.push_back(lines[i].second);
    file.delimiter = options.delimiter ? options.delimiter : detectDelimiter(sample);

    file.rows.reserve(lines.size());
    for (auto& [line, content] : lines) {
        TabularRow row;
        row.line = line;
        if (!splitLine(content, file.delimiter, row.fields)) row.problem = "a quote is not closed";
        file.rows.push_back(std::move(row));
    }
    bool header = options.header == HeaderRule::Yes;
    if (options.header == HeaderRule::Detect && !file.rows.empty() && file.rows[0].problem.empty())
        header = looksLikeHeader(file.rows[0].fields, file.rows.size() > 1 ? &file.rows[1].fields : nullptr);
    if (header && !file.rows.empty()) {
        file.header = file.rows[0].fields;
        file.rows.erase(file.rows.begin());
    }
    return true;
}

int headerColumn(const std::vector<std::string>& header, const std::vector<const char*>& names) {
    for (std::size_t i = 0; i < header.size(); ++i)
        for (const char* name : names)
            if (lower(header[i]) == name) return static_cast<int>(i);
    return -1;
}

void SkipReport::skip(long line, const std::string& reason) {
    if (++count_ <= kSkipsShown) std::fprintf(stderr, "%s:%ld: %s\n", path_.c_str(), line, reason.c_str());
}

void SkipReport::finish() const {
    if (count_ > kSkipsShown)
        std::fprintf(stderr, "%s: %ld more lines skipped\n", path_.c_str(), count_ - kSkipsShown);
}

// ---------------------------------------------------------------------------------------------

OutputTable& OutputTable::column(const std::string& name, bool numeric) {
    columns.push_back({name, numeric});
    return *this;
}

OutputTable& OutputTable::row(std::vector<std::string> cells) {
    cells.resize(columns.size());
    rows.push_back(std::move(cells));
    return *this;
}

void addFormatOption(CLI::App& app) {
    static const std::map<std::string, OutputFormat> formats = {
        {"table", OutputFormat::Table}, {"csv", OutputFormat::Csv}, {"json", OutputFormat::Json}};
    const CLI::Validator known(
        [](std::string& text) {
            for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return formats.count(text) ? std::string() : "must be table, csv or json, not " + text;
        },
        "table|csv|json");
    app.add_option_function<std::string>(
           "--format", [](const std::string& text) { formatSetting() = formats.at(text); },
           "How lists and records are printed: table, csv or json (default table)")
        ->transform(known)
        ->option_text("table|csv|json");
}

OutputFormat outputFormat() { return formatSetting(); }

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string csvField(const std::string& text, char delimiter) {
    if (text.find_first_of(std::string("\"\r\n") + delimiter) == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

void printReport(const Report& report, OutputFormat format) {
    if (format == OutputFormat::Table) {
        std::size_t width = 0;
        for (const auto& [item, value] : report) width = std::max(width, utf8Length(item) + 1);
        for (const auto& [item, value] : report)
            std::printf("%s:%s  %s\n", item.c_str(), std::string(width - utf8Length(item) - 1, ' ').c_str(), value.c_str());
        return;
    }
    OutputTable table;
    table.column("item").column("value");
    for (const auto& [item, value] : report) table.row({item, value});
    printOutput(table, format);
}

void printOutput(const OutputTable& table, OutputFormat format) {
    const std::size_t n = table.columns.size();
    if (format == OutputFormat::Csv) {
        std::vector<std::string> names;
        for (const auto& c : table.columns) names.push_back(c.name);
        std::printf("%s\n", csvLine(names).c_str());
        for (const auto& row : table.rows) std::printf("%s\n", csvLine(row).c_str());
        return;
    }
    if (format == OutputFormat::Json) {
        std::printf("[");
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            std::printf("%s\n  {", r ? "," : "");
            for (std::size_t i = 0; i < n; ++i) {
                const std::string& cell = table.rows[r][i];
                const bool number = table.columns[i].numeric && jsonNumber(cell);
                std::printf("%s%s: %s", i ? ", " : "", jsonString(table.columns[i].name).c_str(),
                            number ? cell.c_str() : jsonString(cell).c_str());
            }
            std::printf("}");
        }
        std::printf("%s]\n", table.rows.empty() ? "" : "\n");
        return;
    }
    std::vector<std::size_t> width(n);
    for (std::size_t i = 0; i < n; ++i) {
        width[i] = utf8Length(table.columns[i].name);
        for (const auto& row : table.rows) width[i] = std::max(width[i], utf8Length(row[i]));
    }
    const auto printRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t i = 0; i < n; ++i) {
            const std::string pad(width[i] - utf8Length(cells[i]), ' ');
            line += (i ? "  " : "") + (table.columns[i].numeric ? pad + cells[i] : cells[i] + pad);
        }
        std::printf("%s\n", trim(line).empty() ? "" : line.substr(0, line.find_last_not_of(' ') + 1).c_str());
    };
    std::vector<std::string> names;
    for (const auto& c : table.columns) names.push_back(c.name);
    printRow(names);
    for (const auto& row : table.rows) printRow(row);
}

bool writeCsvFile(const std::string& path, const OutputTable& table) {
    const std::string temporary = path + ".tmp";
    coreFileClearError();
    FILE* out = coreFileOpen(temporary.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "%s\n", coreFileErrorText("write", path.c_str()).c_str());
        return false;
    }
    std::vector<std::string> names;
    for (const auto& c : table.columns) names.push_back(c.name);
    bool ok = coreFileTxtWrite(csvLine(names).c_str(), out) != 0;
    for (std::size_t r = 0; ok && r < table.rows.size(); ++r) ok = coreFileTxtWrite(csvLine(table.rows[r]).c_str(), out) != 0;
    ok = coreFileCloseChecked(out) && ok;
    if (!ok || !coreFileRename(temporary.c_str(), path.c_str())) {
        std::fprintf(stderr, "%s\n", coreFileErrorText("write", path.c_str()).c_str());
        coreFileDelete(temporary.c_str());
        return false;
    }
    return true;
}

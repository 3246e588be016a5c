// Helpers shared by the pieces of the core library.
#pragma once

#include <string>
#include <vector>

namespace core_detail {

// Case-insensitive equality of ASCII texts.
bool sameText(const std::string& a, const std::string& b);
bool isBlank(char c);
std::string trimmed(const std::string& text);

// Copies a text into a caller's buffer, cut to size - 1 characters; does nothing for a null
// buffer or a size below 1. Returns the characters copied.
int copyOut(const std::string& text, char* buffer, int size);

// Whole-file transfers through the core file wrappers. Reading fails (false) when the file is
// missing or unreadable; writing replaces the file.
bool readWholeFile(const std::string& path, std::string& bytes);
bool writeWholeFile(const std::string& path, const std::string& bytes);

// A file's bytes cut into lines, each with its own line end ("\r\n", "\n", or "" for a last
// line without one). Joining text + end of every line gives back the bytes.
struct RawLine {
    std::string text;
    std::string end;
};
std::vector<RawLine> splitLines(const std::string& bytes);

}  // namespace core_detail

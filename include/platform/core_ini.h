// Line-preserving settings files (INI_LIST, TINIFile) and the SWMM 5 input file (SWMM_LIST).
//
// Both keep a file as the list of its lines (a UI_LIST of INI_LINE or SWMM_LINE elements), each
// line with its own line end, so that loading and saving without a change gives back the same
// bytes: comments, blank lines, odd lines, CRLF or LF ends and a missing final line end all stay
// as they were. New lines take the line end of the file's first line (LF for a new file).
//
// Saving: changes are kept in memory and written only by Save / UpdateFile, or when an INI_LIST
// is pointed at another file (SetFile first saves pending changes of the current one). A
// destructor never saves, so that an operation abandoned half-way leaves its file untouched.
#pragma once

#include <string>
#include <vector>

#include "platform/core_list.h"

// ---------------------------------------------------------------------------------------------
// INI files with the Windows profile semantics: section and key names compare without regard to
// case; the first section of a name and the first key of a name in it are the ones read and
// written; values are trimmed of surrounding blanks (quotes are kept); a missing key gives the
// default. A line is a section header when it starts (after blanks) with '['; a key line has an
// '=' (the key is the trimmed text before it); a line starting with ';' is a comment; any other
// line is kept and walked but is no key. Lines before the first header belong to no section.

class INI_LINE : public UI_ELEMENT {
public:
    explicit INI_LINE(const std::string& text = std::string(), const std::string& lineEnd = "\n")
        : text_(text), end_(lineEnd) {}

    // The line without its line end, and the line end ("\r\n", "\n" or "" for a last line
    // without one).
    const char* Text() const { return text_.c_str(); }
    const std::string& TextString() const { return text_; }
    const std::string& LineEnd() const { return end_; }
    void SetText(const std::string& text) { text_ = text; }
    void SetLineEnd(const std::string& end) { end_ = end; }

    bool IsSection() const;       // "[name]"
    bool IsComment() const;       // ';' first
    bool IsBlank() const;         // only blanks
    bool IsKey() const;           // has '=' and is neither a header nor a comment
    std::string SectionName() const;   // the trimmed name between '[' and ']' (or the line end)
    std::string Key() const;      // trimmed text before '=' (empty when no key line)
    std::string Value() const;    // trimmed text after '='

    // The neighbours as lines.
    INI_LINE* Next() const { return static_cast<INI_LINE*>(UI_ELEMENT::Next()); }
    INI_LINE* Previous() const { return static_cast<INI_LINE*>(UI_ELEMENT::Previous()); }

private:
    std::string text_;
    std::string end_;
};

class INI_LIST : public UI_LIST {
public:
    // Loads the file when a path is given and the file exists.
    explicit INI_LIST(const char* path = nullptr);

    // Points the list at a file: pending changes of the current file are saved first, then the
    // new file is loaded (a missing file gives an empty list). Null or empty: no file (the list
    // is emptied; Save then does nothing). Pointing again at the current file keeps the lines in
    // memory when they have unsaved changes, and otherwise loads the file again, so that changes
    // made to the file by other means are seen.
    void SetFile(const char* path);
    const char* FileName() const { return path_.c_str(); }
    bool HasFile() const { return !path_.empty(); }

    // Reloads the file, dropping changes. 1 when the file was read, 0 when missing or unreadable
    // (the list is then empty).
    int Load();
    // Writes every line back to the file. 1 on success, 0 without a file or when writing failed.
    int Save();
    bool IsModified() const { return modified_; }
    void SetModified(bool modified = true) { modified_ = modified; }

    // The value of a key, cut to size - 1 characters; the default when the key is missing.
    // Returns the number of characters put in the buffer. A null or zero-size buffer is left alone.
    int GetString(const char* section, const char* key, const char* def, char* buffer, int size) const;
    std::string GetString(const char* section, const char* key, const char* def = "") const;
    // The value read as a decimal integer or real; the default when the key is missing or empty,
    // 0 when it does not start with a number.
    int GetInt(const char* section, const char* key, int def) const;
    double GetDouble(const char* section, const char* key, double def) const;

    // Sets a key: an existing key line keeps everything up to its '=' and the blanks after it;
    // a new key goes after the last key line of its section (or right after the header); a new
    // section goes at the end of the file. A null value deletes the key.
    void SetString(const char* section, const char* key, const char* value);
    void SetInt(const char* section, const char* key, int value);
    // Written with the given number of decimals ("%.*f").
    void SetDouble(const char* section, const char* key, double value, int decimals);
    // Many keys of one section, each set as SetString sets it, in one walk of the file (a
    // section of thousands of keys is written in time linear in its size).
    void SetStrings(const char* section, const std::vector<std::pair<std::string, std::string>>& values);
    // The keys of a section with their values, in order.
    std::vector<std::pair<std::string, std::string>> SectionValues(const char* section) const;

    // Removes a section: its header and every line up to the next header. 1 when it existed.
    int DeleteSection(const char* section);
    // Removes a key line. 1 when it existed.
    int DeleteKey(const char* section, const char* key);
    // Renames a section's header line to "[newName]". 1 when the section existed.
    int RenameSection(const char* section, const char* newName);

    bool SectionExists(const char* section) const { return FindSection(section) != nullptr; }
    bool KeyExists(const char* section, const char* key) const { return FindKey(section, key) != nullptr; }

    // Walking: the header line of a section (null when none), the key line of a key, and the
    // last line of a section (its last non-blank line, or the header).
    INI_LINE* FindSection(const char* section) const;
    INI_LINE* FindKey(const char* section, const char* key) const;
    INI_LINE* SectionLast(const char* section) const;
    INI_LINE* FirstLine() const { return static_cast<INI_LINE*>(Head()); }

    // The key names of a section in order, and its lines (every line that is neither blank nor a
    // comment, as they stand) in order.
    std::vector<std::string> SectionKeys(const char* section) const;
    std::vector<std::string> SectionLines(const char* section) const;
    // The names of all sections in order.
    std::vector<std::string> SectionNames() const;
    // Appends a raw line after the last line of a section, creating the section when missing.
    INI_LINE* AddLine(const char* section, const char* text);

    // The whole file as it would be saved.
    std::string Contents() const;
    // Replaces the lines by the given bytes (as if loaded from a file), without touching the file.
    void SetContents(const std::string& bytes);

protected:
    void OnChange() override { modified_ = true; }
    INI_LINE* appendSection(const char* section);
    // Inserts a line after `anchor`, giving the anchor a line end when it had none.
    INI_LINE* insertAfter(INI_LINE* anchor, const std::string& text);
    std::string newLineEnd() const;

    std::string path_;
    bool modified_ = false;
};

// A settings file object over INI_LIST, with the reader and writer names of the host's settings
// class. Changes are written by UpdateFile().
class TINIFile : public INI_LIST {
public:
    explicit TINIFile(const char* path) : INI_LIST(path) {}

    int ReadString(const char* section, const char* key, const char* def, char* buffer, int size) const {
        return GetString(section, key, def, buffer, size);
    }
    std::string ReadString(const char* section, const char* key, const char* def) const {
        return GetString(section, key, def);
    }
    int ReadInteger(const char* section, const char* key, int def) const { return GetInt(section, key, def); }
    double ReadFloat(const char* section, const char* key, double def) const { return GetDouble(section, key, def); }
    void WriteString(const char* section, const char* key, const char* value) { SetString(section, key, value); }
    void WriteInteger(const char* section, const char* key, int value) { SetInt(section, key, value); }
    // Written with up to 15 significant digits, more only when needed to read back the same value.
    void WriteFloat(const char* section, const char* key, double value);
    int EraseSection(const char* section) { return DeleteSection(section); }
    bool ValueExists(const char* section, const char* key) const { return KeyExists(section, key); }
    // Key names of a section; its lines (ReadSectionValues gives "key=value" lines as written).
    void ReadSection(const char* section, std::vector<std::string>& keys) const { keys = SectionKeys(section); }
    void ReadSectionValues(const char* section, std::vector<std::string>& lines) const {
        lines = SectionLines(section);
    }
    void ReadSections(std::vector<std::string>& sections) const { sections = SectionNames(); }
    int UpdateFile() { return Save(); }
};

// ---------------------------------------------------------------------------------------------
// SWMM 5 input files: sections headed "[NAME]", one object per line, ";" comment lines.
//
// A line is its leading blanks, its key (the first run of non-blank characters; a header's key
// starts with '[', a comment's with ';') and its data (everything after the key, leading blanks
// kept). Fields of the data are counted from 1 on runs of blanks and tabs, so when the data
// starts with a blank field 1 is empty and the first value after the key is field 2.
// Section names are given without brackets (brackets are accepted) and, like keys, compare
// without regard to case.

class SWMM_LINE : public UI_ELEMENT {
public:
    // A line from its text (taken as it stands, line end excluded). The prefix is what goes
    // before the key when the line is rebuilt from a key (SetKey).
    explicit SWMM_LINE(const char* text = "", const char* prefix = "  ", const char* lineEnd = "\n");
    // A line read from a file: every byte of the text is kept, a NUL byte too, so that the line
    // is written back as it was read.
    SWMM_LINE(const std::string& text, const char* prefix, const char* lineEnd);

    std::string Text() const { return lead_ + key_ + data_; }
    const std::string& Key() const { return key_; }
    const std::string& Data() const { return data_; }
    const std::string& LineEnd() const { return end_; }
    void SetLineEnd(const std::string& end) { end_ = end; }

    bool IsHeader() const { return !key_.empty() && key_[0] == '['; }
    bool IsComment() const { return !key_.empty() && key_[0] == ';'; }
    bool IsBlank() const { return key_.empty(); }
    // A header's name without brackets, upper case kept as written; empty for other lines.
    std::string SectionName() const;

    // Replaces the data (the text after the key). Marks the list changed.
    void DataSet(const char* data);
    // Replaces the key; a line without leading blanks gets the prefix. Marks the list changed.
    void SetKey(const char* key);
    // Replaces the whole line. Marks the list changed.
    void SetText(const char* text);

    // Field `index` (from 1) of the data, cut to size - 1 characters. 1 when it exists, else 0
    // with an empty buffer.
    int GetField(int index, char* buffer, int size) const;
    std::string Field(int index) const;
    int FieldCount() const;

    SWMM_LINE* Next() const { return static_cast<SWMM_LINE*>(UI_ELEMENT::Next()); }
    SWMM_LINE* Previous() const { return static_cast<SWMM_LINE*>(UI_ELEMENT::Previous()); }

private:
    void parse(const std::string& text);
    void changed();

    std::string lead_, key_, data_, end_, prefix_;
};

class SWMM_LIST : public UI_LIST {
public:
    // Loads the file when it exists. `separator` is the prefix of new lines ("  ").
    SWMM_LIST(const char* path, const char* separator = "  ");

    const char* FileName() const { return path_.c_str(); }
    const char* Separator() const { return separator_.c_str(); }
    // Reloads the file, dropping changes; 1 when it was read.
    int Load();
    // Writes every line back. 1 on success.
    int Save();
    bool IsModified() const { return modified_; }
    void SetModified(bool modified = true) { modified_ = modified; }

    // Whether a section exists, with the 0-based indexes of its header line and of its last
    // line (its last non-blank line; the header itself when the section is empty).
    int GetSectionLimits(const char* section, int& first, int& last) const;
    SWMM_LINE* FindSection(const char* section) const;
    SWMM_LINE* SectionLast(const char* section) const;
    // The first line of a section whose key is `key` (null when none).
    SWMM_LINE* FindLine(const char* section, const char* key) const;
    // The lines of a section after its header, in order, up to the next header.
    std::vector<SWMM_LINE*> SectionLines(const char* section) const;
    SWMM_LINE* Line(int index) const { return static_cast<SWMM_LINE*>(Get(index)); }
    SWMM_LINE* FirstLine() const { return static_cast<SWMM_LINE*>(Head()); }

    // Removes a section with all its lines. 1 when it existed.
    int DeleteSection(const char* section);
    // Adds a header "[SECTION]" at the end of the file (after a blank line when the file does not
    // end with one); an existing section's header is returned as it is.
    SWMM_LINE* AppendNewSection(const char* section);
    // Appends a line after the last line of a section, creating the section when missing: the
    // text as it stands, or the prefix, key, a blank and the data.
    SWMM_LINE* AppendNoKey(const char* section, const char* text);
    SWMM_LINE* Append(const char* section, const char* key, const char* data);
    using UI_LIST::Append;
    // Inserts a new line right after `after` (at the front when null).
    SWMM_LINE* InsertLine(SWMM_LINE* after, const char* text);
    // Removes and deletes a line. 1 when it was in this list.
    int RemoveLine(SWMM_LINE* line);

    // The trimmed data of the first line with the key in the section (an options-style
    // "KEY value" line); the default when missing. 1 when found.
    int GetString(const char* section, const char* key, const char* def, char* buffer, int size) const;
    // Replaces that line's data (keeping the blanks between key and value), or appends
    // "<prefix>KEY value" to the section.
    void SetString(const char* section, const char* key, const char* value);

    // The whole file as it would be saved.
    std::string Contents() const;

protected:
    void OnChange() override { modified_ = true; }
    std::string newLineEnd() const;
    SWMM_LINE* insertAfter(SWMM_LINE* anchor, const std::string& text);

private:
    friend class SWMM_LINE;
    std::string path_;
    std::string separator_;
    bool modified_ = false;
};

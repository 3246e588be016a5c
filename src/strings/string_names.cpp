// Names of strings and strings files: continuation section names, the file name rule and its
// inverse, the job's list of strings files ("TerrainStrings"), the drop-down of the job's
// strings, and renaming.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "database/frame.h"
#include "frame/state.h"
#include "platform/core.h"
#include "strings/strings_internal.h"

namespace {

constexpr const char* kJobSection = "TerrainStrings";
constexpr const char* kAlreadyDefined = "Already defined";

std::string entryKey(int index) { return "StrName" + std::to_string(index); }

std::string jobEntry(int index) {
    char value[MAX_PATH];
    coreGetJobDefault(kJobSection, entryKey(index).c_str(), "", value, MAX_PATH);
    return value;
}

std::string plotSection(const std::string& name) { return "StrLines_" + name; }

// The part of a path after its last folder separator.
const char* fileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

bool sameNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Section names and families

void dbfGetSectionName(char* out, const char* name, int n, bool keepWholeName) {
    if (!out) return;
    std::string base = name ? name : "";
    if (keepWholeName) {
        if (base.size() > 49) base.resize(49);
    } else if (const auto dash = base.find('-'); dash != std::string::npos) {
        base.resize(dash);
    }
    const std::string suffix = "-" + std::to_string(n);
    if (base.size() + suffix.size() > kStrNameChars)
        base.resize(suffix.size() < kStrNameChars ? kStrNameChars - suffix.size() : 0);
    coreStrncpy(out, (base + suffix).c_str(), kStrNameChars + 1);
}

int dbfStringFamilySize(FILE* stream, const char* name) {
    if (!stream || !name) return 0;
    int count = 0;
    STR_HEADER header;
    char current[32];
    strSetName(current, name);
    for (int steps = strSlotLimit(stream); steps > 0; --steps) {
        if (!strFindHeader(stream, current, header)) break;
        ++count;
        if (!*header.firstChild) break;
        strSetName(current, header.firstChild);
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// The job's strings files

int dbfStringNameExists(const char* name) {
    if (!name) return 0;
    for (int i = 1; i <= kStrMaxFiles; ++i) {
        const std::string entry = jobEntry(i);
        if (!entry.empty() && sameNoCase(entry.c_str(), name)) {
            const std::string text = entry + " is already defined as a string.";
            AfxMessageBox(dbfOwner(), text.c_str(), kAlreadyDefined, MB_OK | MB_ICONERROR);
            return 1;
        }
    }
    return 0;
}

void dbfTerrainStringsFileName(char* name, char* fileName) {
    if (!name || !fileName) return;
    static const char kUnsafe[] = ". \\:`~!@#$%^&*()-+=|/{}[]<>;',\"";
    if (std::strlen(name) > kStrNameChars) name[kStrNameChars] = '\0';
    for (char* p = name; *p; ++p)
        if (std::strchr(kUnsafe, *p)) *p = '_';
    // A bare road number would read as a road's strings file: keep it apart.
    char* end = nullptr;
    const long value = std::strtol(name, &end, 10);
    if (*name && end && *end == '\0' && value >= 1 && value <= 250 && std::strlen(name) < kStrNameChars)
        std::strcat(name, "_");

    char project[MAX_PATH];
    dbfFileName(project, "str", kFileProject);
    std::string base = project;
    if (const auto dot = base.rfind(".str"); dot != std::string::npos) base.resize(dot + 1);
    coreStrncpy(fileName, (base + name + ".str").c_str(), MAX_PATH);
}

int dbfGetStringNameFromFileName(const char* fileName, char* name) {
    const char* file = fileName ? fileNamePart(fileName) : "";
    const char* first = std::strchr(file, '.');
    const char* second = first ? std::strchr(first + 1, '.') : nullptr;
    if (!first || first == file || !second || second == first + 1) {
        ErrorMessage("Improper file Name format. Should have format: Project.StringName.str", dbfOwner());
        return 0;
    }
    const std::string between(first + 1, second);
    if (name) coreStrncpy(name, between.c_str(), kStrNameChars + 1);
    return 1;
}

int dbfAddTerrainStringCdp(const char* name, int slot) {
    if (!name) return 0;
    char plot[64];
    std::snprintf(plot, sizeof plot, "1,0,%d,0,0.0,0.003", dbfState().defaultPen % 256);
    if (slot >= 1) {
        const std::string entry = jobEntry(slot);
        if (entry.empty()) return 0;
        coreSetJobDefault(plotSection(entry).c_str(), name, plot);
        return 0;
    }
    for (int i = 1; i <= kStrMaxFiles; ++i) {
        if (!jobEntry(i).empty()) continue;
        coreSetJobDefault(kJobSection, entryKey(i).c_str(), name);
        coreSetJobDefaultInt(plotSection(name).c_str(), "Plot", 1);
        coreSetJobDefault(plotSection(name).c_str(), name, plot);
        return i - 1;
    }
    return 0;
}

int dbfTerrainStringsFile(char* name, char* fileName) {
    if (!name || !fileName) return 0;
    dbfTerrainStringsFileName(name, fileName);
    FILE* file = nullptr;
    if (coreFileExist(fileName)) {
        file = coreFileOpen(fileName, "r+b");
        strIndexForget(file);
    } else {
        file = coreFileOpen(fileName, "w+b");
        strIndexForget(file);
        if (file) {
            stringsState().namedStream = file;   // a failed write names the file
            stringsState().namedStreamName = fileName;
        }
        if (file && !strWriteFileHeader(file, strNewFileHeader())) {
            file = strCloseStream(file);
            // A file without its whole header would be refused at the next open.
            coreFileDelete(fileName);
        }
    }
    if (!file) return 0;
    dbfAddTerrainStringCdp(name, 0);
    strCloseStream(file);
    if (auto show = dbfState().hooks.showStrings) show();
    return 1;
}

int dbfTerrainStringsBox(CComboBox* combo, const char* selectedName) {
    if (!combo) return -1;
    combo->ResetContent();
    int selection = -1;
    for (int i = 1; i <= kStrMaxFiles; ++i) {
        const std::string entry = jobEntry(i);
        if (entry.empty()) break;
        char name[MAX_PATH];
        coreStrncpy(name, entry.c_str(), kStrNameChars + 1);
        char fileName[MAX_PATH];
        dbfTerrainStringsFileName(name, fileName);
        if (!coreFileExist(fileName)) continue;
        STR_FILEHEADER fileHeader;
        FILE* file = viewStringOpenFile(fileName, fileHeader);
        if (!file) continue;

        STR_HEADER header;
        if (strFindHeader(file, entry.c_str(), header)) {
            std::string indent;
            for (int steps = strSlotLimit(file); steps > 0; --steps) {
                const int index = combo->AddString((indent + header.name).c_str());
                combo->SetItemData(index, static_cast<DWORD_PTR>(i));
                if (selection < 0 && selectedName && std::strcmp(header.name, selectedName) == 0)
                    selection = index;
                if (!*header.firstChild) break;
                char child[32];
                strSetName(child, header.firstChild);
                if (!strFindHeader(file, child, header)) break;
                indent += "  ";
            }
        }
        strCloseStream(file);
    }
    // The control model has no fonts: its width is left to the host.
    if (selection >= 0)
        combo->SetCurSel(selection);
    else if (combo->GetCount() > 0)
        combo->SetCurSel(0);
    return selection;
}

// ---------------------------------------------------------------------------------------------
// Renaming

namespace {

// Renames the old name wherever it appears as a name or a child in the tree from the start
// string. The result is that of the start header only: 1 when it changed and was written. A
// string deeper in the tree is renamed in the file all the same, but the result (and so the
// job settings that follow it) stays 0.
int renameTree(FILE* stream, const char* start, const char* oldName, const char* newName, int depth) {
    if (!*start || !*oldName || !*newName || depth > strSlotLimit(stream)) return 0;
    STR_HEADER header;
    const DWORD position = strFindHeader(stream, start, header);
    if (!position) return 0;
    char firstChild[32], secondChild[32];
    strSetName(firstChild, header.firstChild);
    strSetName(secondChild, header.secondChild);
    bool changed = false;
    for (char* field : {header.name, header.firstChild, header.secondChild}) {
        if (strNameIs(field, oldName)) {
            strSetName(field, newName);
            changed = true;
        }
    }
    int result = changed ? 1 : 0;
    if (changed && !strWriteHeader(stream, position, header)) result = 0;
    // The children are looked up by the names they had before this header changed; a child
    // that was the renamed string is found under its old name.
    if (*firstChild) renameTree(stream, firstChild, oldName, newName, depth + 1);
    if (*secondChild) renameTree(stream, secondChild, oldName, newName, depth + 1);
    return result;
}

// The selection follows a renamed string: the selected byte travels with the header, so only
// the job's record of the selected file may have to follow the file.
void followSelection(const char* fileName, const char* newFileName) {
    char selected[MAX_PATH];
    coreGetJobDefault(kJobSection, "Selected", "", selected, MAX_PATH);
    if (*selected && std::strcmp(selected, fileName) == 0)
        coreSetJobDefault(kJobSection, "Selected", newFileName);
}

}  // namespace

int dbfRenameString(const char* oldName, char* newName, const char* fileName) {
    if (!oldName || !newName || !fileName) return 0;
    STR_FILEHEADER fileHeader;
    FILE* file = viewStringOpenFile(fileName, fileHeader);
    if (!file) return 0;
    dbfStringAccessor(file, fileName);

    STR_HEADER root;
    if (!strReadHeader(file, kStrFileHeaderBytes, root)) {
        dbfStringsClose();
        strCloseStream(file);
        return 0;
    }
    char rootName[32];
    strSetName(rootName, root.name);
    const bool rootRename = std::strcmp(oldName, rootName) == 0;

    char newFileName[MAX_PATH];
    dbfTerrainStringsFileName(newName, newFileName);

    int result = 0;
    STR_HEADER existing;
    if (strFindHeader(file, newName, existing)) {
        const std::string text = std::string(newName) + " is already defined as a string.";
        AfxMessageBox(dbfOwner(), text.c_str(), kAlreadyDefined, MB_OK | MB_ICONERROR);
    } else if (!(rootRename && dbfStringNameExists(newName))) {
        result = renameTree(file, rootName, oldName, newName, 0);
    }
    dbfStringsClose();
    strCloseStream(file);

    bool fileMoved = false;
    if (result == 1 && rootRename) {
        if (coreFileCopy(fileName, newFileName)) {
            coreFileDelete(fileName);
            fileMoved = true;
        } else {
            // The file keeps its name, so its strings take back their old names: the job's
            // list still finds the root under the old one.
            ErrorMessage(coreFileErrorText("save", newFileName).c_str(), dbfOwner());
            if (FILE* again = viewStringOpenFile(fileName, fileHeader)) {
                dbfStringAccessor(again, fileName);
                renameTree(again, newName, newName, oldName, 0);
                dbfStringsClose();
                strCloseStream(again);
            }
            result = 0;
        }
    }
    if (fileMoved) followSelection(fileName, newFileName);

    if (result == 1) {
        for (int i = 1; i <= kStrMaxFiles; ++i)
            if (jobEntry(i) == oldName) coreSetJobDefault(kJobSection, entryKey(i).c_str(), newName);
        std::string section = plotSection(rootName);
        char plot[MAX_PATH];
        coreGetJobDefault(section.c_str(), oldName, "", plot, MAX_PATH);
        if (rootRename) {
            coreDeleteJobSection(section.c_str());
            section = plotSection(newName);
            coreSetJobDefaultInt(section.c_str(), "Plot", 1);
        }
        coreDeleteJobKey(section.c_str(), oldName);
        coreSetJobDefault(section.c_str(), newName, plot);
    }
    return result;
}

// File wrappers with 64-bit offsets, and path helpers.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/core.h"
#include "core_internal.h"

static_assert(sizeof(off_t) == 8, "the file wrappers need 64-bit file offsets");

namespace {

// Index just after the last folder separator of a path (0 when none).
size_t nameStart(const std::string& path) {
    size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? 0 : pos + 1;
}

std::string withDot(const char* extension) {
    if (!extension || !*extension) return std::string();
    return extension[0] == '.' ? std::string(extension) : "." + std::string(extension);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Names

std::string coreNativePath(const char* name) {
    std::string out = name ? name : "";
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

void coreNativePath(const char* name, char* buffer, int size) {
    core_detail::copyOut(coreNativePath(name), buffer, size);
}

// ---------------------------------------------------------------------------------------------
// Streams

FILE* coreFileOpen(const char* name, const char* mode) {
    if (!name || !*name || !mode || !*mode) return nullptr;
    // Text mode makes no difference here; dropping 't' keeps the mode valid for every C library.
    std::string cleanMode;
    for (const char* m = mode; *m; ++m)
        if (*m != 't') cleanMode += *m;
    return std::fopen(coreNativePath(name).c_str(), cleanMode.c_str());
}

FILE* coreFileClose(FILE* stream) {
    if (stream) std::fclose(stream);
    return nullptr;
}

int coreFileSetPointer(int origin, std::int64_t offset, FILE* stream) {
    if (!stream) return 0;
    int whence = origin == 1 ? SEEK_CUR : (origin == 2 ? SEEK_END : SEEK_SET);
    if (origin < 0 || origin > 2) return 0;
    return fseeko(stream, static_cast<off_t>(offset), whence) == 0 ? 1 : 0;
}

std::int64_t coreFileGetPointer(FILE* stream) {
    if (!stream) return -1;
    return static_cast<std::int64_t>(ftello(stream));
}

std::int64_t coreFileLength(FILE* stream) {
    if (!stream) return -1;
    std::fflush(stream);
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

int coreFileBinRead(void* buffer, std::size_t count, FILE* stream) {
    if (!stream || (!buffer && count)) return 0;
    if (count == 0) return 1;
    return std::fread(buffer, 1, count, stream) == count ? 1 : 0;
}

int coreFileBinWrite(const void* buffer, std::size_t count, FILE* stream) {
    if (!stream || (!buffer && count)) return 0;
    if (count == 0) return 1;
    return std::fwrite(buffer, 1, count, stream) == count ? 1 : 0;
}

int coreFileTxtRead(char* buffer, FILE* stream, int size) {
    if (!stream) return 0;
    int used = 0;
    bool any = false;
    int c;
    while ((c = std::fgetc(stream)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (buffer && used < size - 1) buffer[used++] = static_cast<char>(c);
    }
    if (buffer && size > 0) {
        // A "\r\n" line end leaves its '\r' at the end of the text.
        if (used > 0 && buffer[used - 1] == '\r') --used;
        buffer[used] = '\0';
    }
    return any ? 1 : 0;
}

int coreFileTxtWrite(const char* text, FILE* stream) {
    if (!stream) return 0;
    if (text && std::fputs(text, stream) == EOF) return 0;
    return std::fputc('\n', stream) == EOF ? 0 : 1;
}

int coreFileExist(const char* name) {
    if (!name || !*name) return 0;
    struct stat st;
    return stat(coreNativePath(name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode) ? 1 : 0;
}

int coreFolderExist(const char* name) {
    if (!name || !*name) return 0;
    struct stat st;
    return stat(coreNativePath(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int coreFileDelete(const char* name) {
    if (!name || !*name) return 0;
    return std::remove(coreNativePath(name).c_str()) == 0 ? 1 : 0;
}

int coreFileCopy(const char* from, const char* to) {
    if (!from || !to || !*from || !*to) return 0;
    if (coreNativePath(from) == coreNativePath(to)) return coreFileExist(from);
    FILE* in = coreFileOpen(from, "rb");
    if (!in) return 0;
    FILE* out = coreFileOpen(to, "wb");
    if (!out) {
        coreFileClose(in);
        return 0;
    }
    char block[65536];
    bool ok = true;
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0)
        if (!coreFileBinWrite(block, got, out)) {
            ok = false;
            break;
        }
    if (std::ferror(in)) ok = false;
    coreFileClose(in);
    if (std::fclose(out) != 0) ok = false;
    return ok ? 1 : 0;
}

int coreBackFile(const char* from, const char* to) {
    return coreFileCopy(from, to);
}

int coreWriteFile(FILE* from, FILE* to, const char* stopLine) {
    if (!from || !to) return 0;
    std::string stop = stopLine ? core_detail::trimmed(stopLine) : std::string();
    std::string line;
    int c;
    bool any = false;
    for (;;) {
        line.clear();
        any = false;
        while ((c = std::fgetc(from)) != EOF) {
            any = true;
            if (c == '\n') break;
            line += static_cast<char>(c);
        }
        if (!any) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!stop.empty() && core_detail::sameText(core_detail::trimmed(line), stop)) return 1;
        if (!coreFileTxtWrite(line.c_str(), to)) return 0;
    }
    return stop.empty() ? 1 : 0;
}

int coreFileTruncate(FILE* stream, std::int64_t length) {
    if (!stream || length < 0) return 0;
    if (std::fflush(stream) != 0) return 0;
    return ftruncate(fileno(stream), static_cast<off_t>(length)) == 0 ? 1 : 0;
}

int coreFileRename(const char* from, const char* to) {
    if (!from || !to || !*from || !*to) return 0;
    return std::rename(coreNativePath(from).c_str(), coreNativePath(to).c_str()) == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Paths

void coreChangeFileName(char* path, const char* name, const char* extension) {
    if (!path) return;
    std::string p = path;
    size_t start = nameStart(p);
    std::string base;
    if (name) {
        base = name;
    } else {
        base = p.substr(start);
        size_t dot = base.rfind('.');
        if (dot != std::string::npos) base.erase(dot);
    }
    core_detail::copyOut(p.substr(0, start) + base + withDot(extension), path, MAX_PATH);
}

void coreChangeFileExt(char* path, const char* extension) {
    if (!path) return;
    std::string p = path;
    size_t start = nameStart(p);
    size_t dot = p.rfind('.');
    if (dot != std::string::npos && dot >= start) p.erase(dot);
    core_detail::copyOut(p + withDot(extension), path, MAX_PATH);
}

void coreExtractFilePath(const char* path, char* buffer) {
    if (!buffer) return;
    std::string p = path ? path : "";
    core_detail::copyOut(p.substr(0, nameStart(p)), buffer, MAX_PATH);
}

void coreExtractFileName(const char* path, char* buffer) {
    if (!buffer) return;
    std::string p = path ? path : "";
    core_detail::copyOut(p.substr(nameStart(p)), buffer, MAX_PATH);
}

// ---------------------------------------------------------------------------------------------
// Whole files

namespace core_detail {

bool readWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    FILE* f = coreFileOpen(path.c_str(), "rb");
    if (!f) return false;
    std::int64_t length = coreFileLength(f);
    bool ok = length >= 0;
    if (ok && length > 0) {
        bytes.resize(static_cast<size_t>(length));
        ok = coreFileBinRead(bytes.data(), bytes.size(), f) == 1;
        if (!ok) bytes.clear();
    }
    coreFileClose(f);
    return ok;
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
    FILE* f = coreFileOpen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = coreFileBinWrite(bytes.data(), bytes.size(), f) == 1;
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

std::vector<RawLine> splitLines(const std::string& bytes) {
    std::vector<RawLine> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        RawLine line;
        if (nl == std::string::npos) {
            line.text = bytes.substr(pos);
            pos = bytes.size();
        } else {
            size_t textEnd = nl;
            if (textEnd > pos && bytes[textEnd - 1] == '\r') --textEnd;
            line.text = bytes.substr(pos, textEnd - pos);
            line.end = bytes.substr(textEnd, nl + 1 - textEnd);
            pos = nl + 1;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace core_detail

// File wrappers with 64-bit offsets, and path helpers.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>

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

// ---------------------------------------------------------------------------------------------
// The last error, per thread, and the test hook.

thread_local int t_lastError = 0;
// A plain buffer, not a std::string: saves made by static destructors at exit still set it, after
// the thread's own objects are gone.
thread_local char t_lastErrorText[256];

// Remembers why a wrapper failed; 0 (a failure that left no errno) counts as an I/O error.
void setLastError(int error) {
    t_lastError = error ? error : EIO;
    char text[256];
    coreStrncpy(t_lastErrorText, strerror_r(t_lastError, text, sizeof text), sizeof t_lastErrorText);
}

// Fails with the current errno; returns 0 for `return failWithErrno();`.
int failWithErrno() {
    setLastError(errno);
    return 0;
}

CoreFileFaultHook g_faultHook = nullptr;
void* g_faultContext = nullptr;

// The names of the open streams opened for writing, for the hook to tell files apart.
std::mutex g_namesLock;
std::unordered_map<FILE*, std::string>& streamNames() {
    // Never destroyed: files are still written by static destructors at exit.
    static auto* names = new std::unordered_map<FILE*, std::string>;
    return *names;
}

void rememberName(FILE* stream, const std::string& name) {
    std::lock_guard<std::mutex> lock(g_namesLock);
    streamNames()[stream] = name;
}

void forgetName(FILE* stream) {
    std::lock_guard<std::mutex> lock(g_namesLock);
    streamNames().erase(stream);
}

// The name of a stream opened for writing; false for one opened only for reading.
bool writtenName(FILE* stream, std::string& name) {
    std::lock_guard<std::mutex> lock(g_namesLock);
    auto it = streamNames().find(stream);
    if (it == streamNames().end()) return false;
    name = it->second;
    return true;
}

// Asks the hook about an operation; 0 to go on, else the errno to fail with.
int askHook(CoreFileOperation operation, const std::string& name, std::size_t& count) {
    return g_faultHook ? g_faultHook(operation, name.c_str(), count, g_faultContext) : 0;
}

bool writesTo(const std::string& mode) { return mode.find_first_of("wa+") != std::string::npos; }

// The one door for bytes going out: every write of the wrappers comes here.
int writeBytes(const void* buffer, std::size_t count, FILE* stream) {
    std::size_t allowed = count;
    std::string name;
    int injected = g_faultHook && writtenName(stream, name) ? askHook(kCoreFileWrite, name, allowed) : 0;
    if (allowed > count) allowed = count;
    errno = 0;
    std::size_t done = allowed ? std::fwrite(buffer, 1, allowed, stream) : 0;
    if (injected) {
        setLastError(injected);
        return 0;
    }
    return done == count ? 1 : failWithErrno();
}

int flushStream(FILE* stream, bool sync) {
    std::size_t none = 0;
    std::string name;
    if (int injected = g_faultHook && writtenName(stream, name) ? askHook(kCoreFileFlush, name, none) : 0) {
        setLastError(injected);
        return 0;
    }
    if (std::fflush(stream) != 0) return failWithErrno();
    if (sync && fsync(fileno(stream)) != 0) return failWithErrno();
    return 1;
}

// 1 when the file may be written (or does not exist yet).
int mayReplace(const std::string& path) {
    std::size_t none = 0;
    if (int injected = askHook(kCoreFileOpenWrite, path, none)) {
        setLastError(injected);
        return 0;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return errno == ENOENT ? 1 : failWithErrno();
    if (S_ISDIR(st.st_mode)) {
        setLastError(EISDIR);
        return 0;
    }
    return access(path.c_str(), W_OK) == 0 ? 1 : failWithErrno();
}

// A new file beside the target, opened for writing, with the target's permissions when it has
// one; its name starts with the target's name, so a hook that picks the target sees its writes.
FILE* openTemporaryBeside(const std::string& target, std::string& temporary) {
    struct stat st;
    const bool replacing = stat(target.c_str(), &st) == 0;
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + ".~" + std::to_string(getpid()) + "_" + std::to_string(seed() % 1000000);
        int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) break;
        if (replacing) fchmod(fd, st.st_mode & 07777);
        FILE* stream = fdopen(fd, "wb");
        if (!stream) {
            int error = errno;
            close(fd);
            unlink(temporary.c_str());
            errno = error;
            break;
        }
        rememberName(stream, temporary);
        return stream;
    }
    failWithErrno();
    return nullptr;
}

// Makes a rename in the folder last across a power cut; a folder that cannot be synced (some
// file systems) does not fail the copy, whose bytes are on the disk already.
void syncFolderOf(const std::string& path) {
    std::string folder = path.substr(0, nameStart(path));
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Replaces the target with what write puts into a stream: a temporary file in the target's
// folder, flushed to the disk, then renamed over the target. On a failure the temporary file
// goes, the target stays as it was and the last error is the first failure's.
bool replaceFile(const std::string& target, const std::function<bool(FILE*)>& write) {
    std::string temporary;
    FILE* out = mayReplace(target) ? openTemporaryBeside(target, temporary) : nullptr;
    if (!out) return false;
    // The bytes reach the disk before the rename, or a crash could leave an empty target.
    bool ok = write(out) && flushStream(out, true);
    if (!coreFileCloseChecked(out)) ok = false;
    if (ok && std::rename(temporary.c_str(), target.c_str()) != 0) ok = failWithErrno() == 1;
    if (!ok) {
        const int error = t_lastError;
        unlink(temporary.c_str());
        setLastError(error);
        return false;
    }
    syncFolderOf(target);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Last error and test hook

int coreFileLastError() { return t_lastError; }
const char* coreFileLastErrorText() { return t_lastErrorText; }

void coreFileClearError() {
    t_lastError = 0;
    t_lastErrorText[0] = '\0';
}

std::string coreFileErrorText(const char* action, const char* name) {
    std::string text = "Unable to ";
    text += action ? action : "write";
    text += ' ';
    text += name ? name : "";
    text += ": ";
    text += t_lastError ? t_lastErrorText : "Unknown error";
    return text;
}

void coreSetFileFaultHook(CoreFileFaultHook hook, void* context) {
    g_faultContext = context;
    g_faultHook = hook;
}

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
    if (!name || !*name || !mode || !*mode) {
        setLastError(EINVAL);
        return nullptr;
    }
    // Text mode makes no difference here; dropping 't' keeps the mode valid for every C library.
    std::string cleanMode;
    for (const char* m = mode; *m; ++m)
        if (*m != 't') cleanMode += *m;
    const std::string path = coreNativePath(name);
    std::size_t none = 0;
    if (int injected = writesTo(cleanMode) ? askHook(kCoreFileOpenWrite, path, none) : 0) {
        setLastError(injected);
        return nullptr;
    }
    FILE* stream = std::fopen(path.c_str(), cleanMode.c_str());
    if (!stream) {
        failWithErrno();
        return nullptr;
    }
    if (writesTo(cleanMode)) rememberName(stream, path);
    return stream;
}

FILE* coreFileClose(FILE* stream) {
    if (stream) coreFileCloseChecked(stream);
    return nullptr;
}

int coreFileCloseChecked(FILE* stream) {
    if (!stream) {
        setLastError(EBADF);
        return 0;
    }
    // The hook sees the close as a flush only while the name is still known.
    int ok = flushStream(stream, false);
    forgetName(stream);
    if (std::fclose(stream) != 0 && ok) ok = failWithErrno();
    return ok;
}

int coreFileFlush(FILE* stream, bool sync) {
    if (!stream) {
        setLastError(EBADF);
        return 0;
    }
    return flushStream(stream, sync);
}

int coreFileSetPointer(int origin, std::int64_t offset, FILE* stream) {
    if (!stream) return 0;
    int whence = origin == 1 ? SEEK_CUR : (origin == 2 ? SEEK_END : SEEK_SET);
    if (origin < 0 || origin > 2) return 0;
    return fseeko(stream, static_cast<off_t>(offset), whence) == 0 ? 1 : failWithErrno();
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

CoreFileIdentity coreFileIdentity(FILE* stream) {
    struct stat st;
    if (!stream || fstat(fileno(stream), &st) != 0) return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

int coreFileBinRead(void* buffer, std::size_t count, FILE* stream) {
    if (!stream || (!buffer && count)) return 0;
    if (count == 0) return 1;
    errno = 0;
    if (std::fread(buffer, 1, count, stream) == count) return 1;
    // A read that stops at the end of the file is no system failure; it keeps the last error.
    return std::ferror(stream) ? failWithErrno() : 0;
}

int coreFileReadAt(void* buffer, std::size_t count, std::int64_t offset, FILE* stream) {
    if (!stream || (!buffer && count) || offset < 0) return 0;
    if (count == 0) return 1;
    std::string name;
    std::size_t asked = count;
    if (int injected = g_faultHook && writtenName(stream, name) ? askHook(kCoreFileRead, name, asked) : 0) {
        setLastError(injected);
        return 0;
    }
    if (std::fflush(stream) != 0) return failWithErrno();
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fileno(stream), bytes + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failWithErrno();
        if (n == 0) return 0;   // the end of the file: no system failure
        done += static_cast<std::size_t>(n);
    }
    return 1;
}

int coreFileBinWrite(const void* buffer, std::size_t count, FILE* stream) {
    if (!stream || (!buffer && count)) return 0;
    if (count == 0) return 1;
    return writeBytes(buffer, count, stream);
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
    std::string line = text ? text : "";
    line += '\n';
    return writeBytes(line.data(), line.size(), stream);
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

std::vector<std::string> coreFindFiles(const char* pattern) {
    std::vector<std::string> found;
    if (!pattern || !*pattern) return found;
    const std::string whole = pattern;
    const std::size_t cut = whole.find_last_of("/\\");
    const std::string folder = cut == std::string::npos ? std::string() : whole.substr(0, cut + 1);
    const std::string name = cut == std::string::npos ? whole : whole.substr(cut + 1);
    DIR* dir = opendir(folder.empty() ? "." : coreNativePath(folder.c_str()).c_str());
    if (!dir) return found;
    while (const dirent* entry = readdir(dir)) {
        if (fnmatch(name.c_str(), entry->d_name, FNM_CASEFOLD) != 0) continue;
        const std::string path = folder + entry->d_name;
        if (coreFileExist(path.c_str())) found.push_back(path);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

int coreFileDelete(const char* name) {
    if (!name || !*name) return 0;
    return std::remove(coreNativePath(name).c_str()) == 0 ? 1 : failWithErrno();
}

int coreFileCopy(const char* from, const char* to) {
    if (!from || !to || !*from || !*to) {
        setLastError(EINVAL);
        return 0;
    }
    const std::string target = coreNativePath(to);
    if (coreNativePath(from) == target) return coreFileExist(from);
    FILE* in = coreFileOpen(from, "rb");
    if (!in) return 0;
    const bool ok = replaceFile(target, [in](FILE* out) {
        char block[65536];
        size_t got;
        errno = 0;
        while ((got = std::fread(block, 1, sizeof block, in)) > 0)
            if (!writeBytes(block, got, out)) return false;
        return std::ferror(in) ? failWithErrno() == 1 : true;
    });
    std::fclose(in);
    return ok ? 1 : 0;
}

int coreFileCanWrite(const char* name) {
    if (!name || !*name) {
        setLastError(EINVAL);
        return 0;
    }
    return mayReplace(coreNativePath(name));
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
    if (!flushStream(stream, false)) return 0;
    return ftruncate(fileno(stream), static_cast<off_t>(length)) == 0 ? 1 : failWithErrno();
}

int coreFileRename(const char* from, const char* to) {
    if (!from || !to || !*from || !*to) return 0;
    return std::rename(coreNativePath(from).c_str(), coreNativePath(to).c_str()) == 0 ? 1 : failWithErrno();
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
    return replaceFile(coreNativePath(path.c_str()), [&](FILE* out) { return writeBytes(bytes.data(), bytes.size(), out) == 1; });
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

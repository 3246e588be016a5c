// The core library: settings stores, comma fields, file wrappers with 64-bit offsets, path and
// text helpers, wildcard matching, message boxes, window placements, and (through the headers
// included below) the intrusive list, the line-preserving INI and SWMM files and the geometry
// toolkit.
//
// Results: functions returning int give 1 for success and 0 for failure unless stated. No
// function throws. Text buffers are terminated; a value longer than its buffer is cut to
// size - 1 characters; a null buffer or a size below 1 is left alone. Path buffers are MAX_PATH
// (260) characters unless a size is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core_geom.h"
#include "platform/core_ini.h"
#include "platform/core_list.h"
#include "platform/tolerance.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------------------------
// Settings stores
//
// Program-wide settings live in an INI file whose path the host sets; job settings in the
// current project's job file. Reads and writes work on the lines in memory: a set marks the store
// changed and the next get returns what was set; coreFlushDefault / coreFlushJobDefault write the
// file. A store also writes its pending changes when it is pointed at another file and when the
// program ends. Until a store has a file (or with an empty path) reads give the defaults and
// writes stay in memory; they are dropped when the store is later pointed at a file.
// Section and key names compare without regard to case; values are trimmed.

void coreSetDefaultsFile(const char* path);
const char* coreDefaultsFile();
// A missing key or an empty value gives the default; otherwise the decimal number the value
// starts with (0 when none).
int coreGetDefaultInt(const char* section, const char* key, int def);
void coreGetDefault(const char* section, const char* key, const char* def, char* buffer, int size);
void coreSetDefault(const char* section, const char* key, const char* value);
void coreSetDefaultInt(const char* section, const char* key, int value);
void coreFlushDefault();

void coreSetJobFile(const char* path);
const char* coreJobFile();
void coreGetJobDefault(const char* section, const char* key, const char* def, char* buffer, int size);
int coreGetJobDefaultInt(const char* section, const char* key, int def);
void coreSetJobDefault(const char* section, const char* key, const char* value);
void coreSetJobDefaultInt(const char* section, const char* key, int value);
// Written "%.*f" with the decimals (0 to 15).
void coreSetJobDefaultDouble(const char* section, const char* key, double value, int decimals);
void coreFlushJobDefault();
// Removes a whole section of the job settings (fences, string lists).
void coreDeleteJobSection(const char* section);
// Removes one key of the job settings (a renamed string's plot settings).
void coreDeleteJobKey(const char* section, const char* key);

// The work folder: program setting "Main"/"VirtualPath", as stored (empty when none).
void coreGetVirtualPath(char* buffer, int size);
void coreSetVirtualPath(const char* folder);
// Starting the project named by program setting "Main"/"JobPath": the host opens the project
// itself; here both stores write their pending changes, so that the project starts from what
// is on disk.
void coreStartProject();
// The maker's data folder: program setting "Main"/"DataPath", or else the folder of the defaults
// file; without a trailing separator. Empty when neither is known.
void coreGetQZPath(char* buffer, int size);
// For tests: forgets both stores' contents and paths, without saving.
void coreResetStores();

// ---------------------------------------------------------------------------------------------
// Comma fields (index from 1; separator 44 is the comma). Fields are trimmed of blanks; a field
// that is missing or blank gives the default.

// Fills the buffer with the field or the default; returns 1 when the field was there, 0 when the
// default was used.
int coreGetField(const char* text, const char* def, char* buffer, int size, int index, int separator);
// The field read as a decimal integer (the digits it starts with) or real; the default when the
// field is missing, blank or does not start with a number.
int coreGetFieldInt(const char* text, int def, int index, int separator);
double coreGetFieldDouble(const char* text, double def, int index, int separator);

// ---------------------------------------------------------------------------------------------
// Files over FILE* with 64-bit offsets. Names may use '\\' or '/' as separator (backslashes are
// read as '/'). A null stream makes every call fail without a crash.

// Opens with a C mode ("rb", "r+b", "w+b", "rt" ...; 't' is accepted and ignored). Null on failure.
FILE* coreFileOpen(const char* name, const char* mode);
// Closes a non-null stream; always returns null, for `stream = coreFileClose(stream)`. A write
// that fails only at the close is lost here: a writer that must know uses coreFileCloseChecked.
FILE* coreFileClose(FILE* stream);
// Closes a non-null stream and says whether everything written reached the file: 1 when the
// pending writes were flushed and the close succeeded, 0 otherwise (the last error says why).
// The stream is closed in either case. A null stream gives 0.
int coreFileCloseChecked(FILE* stream);
// Writes the stream's pending bytes to the file (and with sync, to the disk). 1 on success.
int coreFileFlush(FILE* stream, bool sync = false);
// Moves to offset from the start (origin 0), the current position (1) or the end (2). 1 on success.
int coreFileSetPointer(int origin, std::int64_t offset, FILE* stream);
// The current position, -1 on failure.
std::int64_t coreFileGetPointer(FILE* stream);
// The length of the open file (pending writes included), -1 on failure. The position is kept.
std::int64_t coreFileLength(FILE* stream);
// Which file an open stream is (its device and file number): two streams on the same file give
// the same identity, a stream on another file a different one. Zeros on failure.
struct CoreFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const CoreFileIdentity&) const = default;
};
CoreFileIdentity coreFileIdentity(FILE* stream);
// Move exactly count bytes at the current position: 1 when all moved, else 0. A count of 0 is 1.
int coreFileBinRead(void* buffer, std::size_t count, FILE* stream);
int coreFileBinWrite(const void* buffer, std::size_t count, FILE* stream);
// Reads exactly count bytes at an offset from the start, in one call to the system, without
// moving the stream's position (its pending writes reach the file first). 1 when all were read;
// 0 at the end of the file or on failure (the last error set for a failure).
int coreFileReadAt(void* buffer, std::size_t count, std::int64_t offset, FILE* stream);
// Reads one line without its line end ("\n" or "\r\n") into a buffer of `size`; a longer line
// is cut to size - 1 characters and the rest of it skipped. 1 when a line was read, 0 at the end.
int coreFileTxtRead(char* buffer, FILE* stream, int size = 1024);
// Writes the text followed by a line end "\n". 1 on success.
int coreFileTxtWrite(const char* text, FILE* stream);
// 1 when the name is an existing file (not a folder).
int coreFileExist(const char* name);
// 1 when the name is an existing folder.
int coreFolderExist(const char* name);
// The files (not folders) whose names match the last part of the pattern, in which "*" and "?"
// are wildcards and letters match either case, in the pattern's folder; each given as that
// folder followed by the file's name, sorted by name. Empty when the folder cannot be read.
std::vector<std::string> coreFindFiles(const char* pattern);
int coreFileDelete(const char* name);
// Copies a file, replacing the target. 1 on success. The copy is written to a temporary file
// in the target's folder, flushed to the disk and then renamed over the target, so the target
// is either the old file or the whole new one, never a mix. A target that may not be written
// (a read-only file) is refused. On any failure the temporary file is removed, the target is
// left as it was, the last error says why and the result is 0.
int coreFileCopy(const char* from, const char* to);
// 1 when the file may be written or replaced (a missing file may be made); 0 for a read-only
// file or a folder, with the last error saying why. A rename over a read-only file would work
// in a writable folder: writers that replace a file ask this first.
int coreFileCanWrite(const char* name);
// Backs a file up: copies it to the target, replacing it; the source stays in place. Safe as
// coreFileCopy.
int coreBackFile(const char* from, const char* to);
// Copies text lines from one stream to another, each written with a "\n" end, up to the line
// that equals stopLine (compared trimmed and without regard to case); that line is read but
// not written. A null or empty stopLine copies to the end. 1 when the stop line was met (or
// none was given), 0 when it was not found or a stream is null.
int coreWriteFile(FILE* from, FILE* to, const char* stopLine);
// Cuts or extends the open file to the length. 1 on success.
int coreFileTruncate(FILE* stream, std::int64_t length);
// Renames a file, replacing an existing target. 1 on success.
int coreFileRename(const char* from, const char* to);
// The last failure of the file wrappers on this thread: its errno number (0 when none since
// the last clear) and its text (empty when none). Every wrapper that fails sets it; a wrapper
// that succeeds leaves it alone.
int coreFileLastError();
const char* coreFileLastErrorText();
void coreFileClearError();
// The one wording of a failed file operation, for every subsystem: "Unable to <action> <file>:
// <reason>", the reason being the last error's text ("Unknown error" when none), e.g.
// "Unable to save /p/ROAD1.sec: No space left on device".
std::string coreFileErrorText(const char* action, const char* name);

// A test hook between the wrappers and the operating system, through which a test injects a
// failed write or a full disk. The hook is asked before every write of the wrappers (and of the
// table library, which writes through them) with the file's name:
//  - kCoreFileOpenWrite: opening the file for writing (count 0), and a safe copy's check that
//    its target may be replaced; a non-zero errno (EACCES for a read-only file) refuses it;
//  - kCoreFileWrite: count is the bytes about to be written; the hook may lower it (the bytes
//    that still fit) and return an errno (ENOSPC for a full disk) to fail the write after them;
//  - kCoreFileFlush: flushing or closing a written file; an errno fails it;
//  - kCoreFileRead: a positioned read (coreFileReadAt) of count bytes from a file open for
//    writing too; an errno (EIO for a bad sector) fails it and nothing is read.
// A null hook (the default) lets everything through. Set it while no other thread writes.
enum CoreFileOperation { kCoreFileOpenWrite, kCoreFileWrite, kCoreFileFlush, kCoreFileRead };
using CoreFileFaultHook = int (*)(CoreFileOperation operation, const char* name, std::size_t& count, void* context);
void coreSetFileFaultHook(CoreFileFaultHook hook, void* context);

// The name with backslashes turned into '/', cut to size - 1 characters.
void coreNativePath(const char* name, char* buffer, int size);
std::string coreNativePath(const char* name);

// ---------------------------------------------------------------------------------------------
// Paths. Both '/' and '\\' separate folders. Extensions are given with or without their dot.

// Replaces the file name and extension of the path in place, keeping its folder. A null name
// keeps the current name.
void coreChangeFileName(char* path, const char* name, const char* extension);
// Replaces (or adds) the extension of the path in place; an empty extension removes it.
void coreChangeFileExt(char* path, const char* extension);
// The folder of a path with its trailing separator; empty when the path has no folder.
void coreExtractFilePath(const char* path, char* buffer);
// The file name of a path with its extension.
void coreExtractFileName(const char* path, char* buffer);

// ---------------------------------------------------------------------------------------------
// Texts

// Copies at most size - 1 characters and terminates. Returns dest.
char* coreStrncpy(char* dest, const char* src, int size);
// Strips leading and trailing blanks (spaces, tabs, line ends) in place. Returns text.
char* coreTrimStr(char* text);
// Wildcard match without regard to case: '*' any run (also empty), '?' one character, '#' one
// digit. `length` > 0 matches the pattern against the first `length` characters of the text
// (the whole text when shorter); 0 or below, the whole text. An empty pattern matches only an
// empty text. Non-zero on a match; 0 for null arguments.
int coreMatching(const char* pattern, const char* text, int length);
// The byte offset of the text in the first `length` bytes of the buffer, -1 when absent (or when
// the text is empty or an argument null).
int corePosBinStr(const void* buffer, const char* text, int length);
// Writes exactly `count` random letters and digits, without a terminator (it fills fixed-size
// record fields; a caller wanting a terminated text terminates it).
void coreRandomString(char* buffer, int count);

// ---------------------------------------------------------------------------------------------
// Messages, shown with AfxMessageBox owned by `owner`.

void ErrorMessage(const char* text, HWND owner);     // caption "Error", OK, error icon
void InfoMessage(const char* text, HWND owner);      // caption "Information", OK
int ConfirmMessage(const char* text, HWND owner);    // caption "Confirm", Yes/No: 6 Yes, 7 No

// ---------------------------------------------------------------------------------------------
// Window placement kept as program setting "WindowPlacement"/<name>: "show,left,top,right,bottom".
// Windows here have no geometry, so the placement is the object's own fields.

class CWindowPlacement {
public:
    int show = 1;    // 1 normal, 2 minimised, 3 maximised
    int left = 0, top = 0, right = 0, bottom = 0;

    // Reads the placement stored under the name into the fields; 1 when one was stored.
    int Restore(const char* name, HWND window);
    // Stores the fields under the name.
    int Save(const char* name, HWND window);
};

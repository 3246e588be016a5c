// The operating system as the library uses it: who and where we are, how much memory the
// machine has, the library's own folder and version, and the Escape key of a terminal host.
#pragma once

#include <cstdint>
#include <string>

// The login name of the user running the program; empty when the system cannot tell.
std::string osOwnerName();

// A stable 32-bit mark of this machine, written in hexadecimal in lock files: taken from
// /etc/machine-id (or the host name when that is missing). Never 0, since 0 marks a lock file
// that names only its owner.
std::uint32_t osMachineMark();

// The folder (with its trailing '/') that holds the module this code was linked into: the
// shared library, or the program when the code is linked statically.
std::string osLibraryFolder();

// Total physical memory in bytes. Tests may pretend another amount (0 restores the truth).
std::uint64_t osPhysicalMemory();
void osSetPhysicalMemoryOverride(std::uint64_t bytes);

// The library's file version ("1.0.0.0" style), or an empty text when it is not known.
std::string osFileVersion();

// The Escape key of a terminal host: Ctrl-C and SIGTERM press it. Pressing is safe from a signal
// handler; taking reads and clears the press. A second signal before the first press was taken
// ends the program as the signal does by default.
void osPressEscape();
bool osTakeEscape();
void osInstallCtrlCAsEscape();

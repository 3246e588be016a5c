// What every fuzz target shares: the library started once per process the way the tests start
// it (a scripted UI, a headless drawing window, settings stores in a scratch project folder),
// the input written into a file of that folder, and the seed-making mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ScriptedUi;

namespace fuzz {

// Starts the library on first use: a scratch folder of this process (under /dev/shm when there
// is one), program settings and a job file in it, the shipped default files in its lib/
// folder, physical memory pretended to be 64 MiB (the 250-slot block cache), initDbfAPI. The
// folder is removed at exit.
void startLibrary();
// The scratch folder, with a trailing '/'.
const std::string& folder();
// The UI that answers the library's questions: every question gets No, every box is recorded.
ScriptedUi& ui();
// Forgets the boxes shown and what the drawing window recorded so far (one input's records cost
// nothing for the next).
void resetUi();

// Writes the bytes to the named file of the scratch folder, replacing it; its path.
std::string writeInput(const std::string& name, const std::uint8_t* data, std::size_t size);
std::string writeInput(const std::string& name, const std::string& bytes);
std::string readFile(const std::string& path);

// Seed mode: when FUZZ_MAKE_SEEDS names a folder, LLVMFuzzerInitialize calls make(folder) (the
// target writes its seed files there with the library itself) and the process exits 0 without
// fuzzing. Returns normally when the variable is not set.
void seedMode(void (*make)(const std::string& folder));
// Writes one seed file into the seed folder.
void writeSeed(const std::string& folder, const std::string& name, const std::string& bytes);

}  // namespace fuzz

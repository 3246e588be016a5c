// The program-wide and job settings stores.
#include <cstdio>
#include <string>

#include "platform/core.h"
#include "core_internal.h"

namespace {

struct Stores {
    INI_LIST program;
    INI_LIST job;

    // Pending changes reach their files when the program ends.
    ~Stores() {
        flush(program);
        flush(job);
    }
    static void flush(INI_LIST& store) {
        if (store.HasFile() && store.IsModified()) store.Save();
    }
};

Stores& stores() {
    static Stores instance;
    return instance;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Program-wide settings

void coreSetDefaultsFile(const char* path) {
    stores().program.SetFile(path);
}

const char* coreDefaultsFile() {
    return stores().program.FileName();
}

int coreGetDefaultInt(const char* section, const char* key, int def) {
    return stores().program.GetInt(section, key, def);
}

void coreGetDefault(const char* section, const char* key, const char* def, char* buffer, int size) {
    stores().program.GetString(section, key, def, buffer, size);
}

void coreSetDefault(const char* section, const char* key, const char* value) {
    stores().program.SetString(section, key, value ? value : "");
}

void coreSetDefaultInt(const char* section, const char* key, int value) {
    stores().program.SetInt(section, key, value);
}

void coreFlushDefault() {
    Stores::flush(stores().program);
}

// ---------------------------------------------------------------------------------------------
// Job settings

void coreSetJobFile(const char* path) {
    stores().job.SetFile(path);
}

const char* coreJobFile() {
    return stores().job.FileName();
}

void coreGetJobDefault(const char* section, const char* key, const char* def, char* buffer, int size) {
    stores().job.GetString(section, key, def, buffer, size);
}

int coreGetJobDefaultInt(const char* section, const char* key, int def) {
    return stores().job.GetInt(section, key, def);
}

void coreSetJobDefault(const char* section, const char* key, const char* value) {
    stores().job.SetString(section, key, value ? value : "");
}

void coreSetJobDefaultInt(const char* section, const char* key, int value) {
    stores().job.SetInt(section, key, value);
}

void coreSetJobDefaultDouble(const char* section, const char* key, double value, int decimals) {
    stores().job.SetDouble(section, key, value, decimals);
}

void coreFlushJobDefault() {
    Stores::flush(stores().job);
}

void coreDeleteJobSection(const char* section) {
    stores().job.DeleteSection(section);
}

void coreDeleteJobKey(const char* section, const char* key) {
    stores().job.DeleteKey(section, key);
}

// ---------------------------------------------------------------------------------------------
// Folders and the project

void coreGetVirtualPath(char* buffer, int size) {
    coreGetDefault("Main", "VirtualPath", "", buffer, size);
}

void coreSetVirtualPath(const char* folder) {
    coreSetDefault("Main", "VirtualPath", folder ? folder : "");
}

void coreStartProject() {
    coreFlushDefault();
    coreFlushJobDefault();
}

void coreGetQZPath(char* buffer, int size) {
    std::string folder = stores().program.GetString("Main", "DataPath", "");
    if (folder.empty()) {
        char defaultsFolder[MAX_PATH];
        coreExtractFilePath(coreDefaultsFile(), defaultsFolder);
        folder = defaultsFolder;
    }
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    core_detail::copyOut(folder, buffer, size);
}

void coreResetStores() {
    for (INI_LIST* store : {&stores().program, &stores().job}) {
        store->SetModified(false);
        store->SetFile(nullptr);
        // A store without a file keeps its writes in memory; a reset forgets them too.
        store->Load();
    }
}

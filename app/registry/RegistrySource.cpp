// app/registry/RegistrySource.cpp
#include "registry/RegistrySource.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "registry/clsKeyFunc.h"

void LiveRegistry::ReadTree(RootKey root, const std::wstring& key, uint16_t, std::vector<ScanHit>& hits, const bool&) {
    // Every value below the key: an empty text is "contained" in every value when all three
    // match flags are set. clsSearch watches its own StopSearch.
    SearchQuery query;
    query.KeyPath = key;
    query.Root = root;
    query.CompareMode = 1;
    query.Recurse = query.MatchKeyName = query.MatchValueName = query.MatchValueData = true;
    Service<clsSearch>().FindString(query, hits);
}

bool LiveRegistry::KeyExists(RootKey root, const std::wstring& key, uint16_t) {
    return Service<clsKeyFunc>().KeyExist(root, key, READ_CONTROL) != 0;
}

SystemFolders RunningSystemFolders() {
    const AppEnvironmentRecord& env = AppEnvironment;
    return {env.WinDir, env.SysWow64Dir, env.ProgramFilesDir, env.ProgramFilesX86Dir};
}

const SystemFolders& LiveRegistry::Folders() {
    // Read anew each time: AppEnvironment is filled after the scan objects exist.
    folders_ = RunningSystemFolders();
    return folders_;
}

// app/backup/RegFileImport.cpp
#include "backup/RegFileImport.h"
#include "core/Service.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include <map>
#include <optional>

namespace {

struct ExpectedKey {
    RootKey root = 0;
    std::wstring path;
    bool present = true;
    // lower-case name -> the value, or nothing when the file deletes it
    std::map<std::wstring, std::pair<std::wstring, std::optional<RegFileValue>>> values;
};

std::wstring KeyText(RootKey root, const std::wstring& path) {
    return clsKeyFunc::HiveName(root) + (path.empty() ? L"" : L"\\" + path);
}

bool Below(const std::wstring& id, const std::wstring& parent) {
    return id == parent || (id.size() > parent.size() && id.compare(0, parent.size(), parent) == 0 &&
                            id[parent.size()] == L'\\');
}

}  // namespace

bool RegFileApplied(const RegFile& file, std::wstring& problem) {
    problem.clear();
    if (!file.valid) {
        problem = L"keine Registrierungsdatei (Kopfzeile fehlt)";
        return false;
    }
    if (file.badLines > 0) {
        problem = std::to_wstring(file.badLines) + L" Zeilen der Datei sind nicht lesbar";
        return false;
    }
    // The state the file leaves behind, section by section.
    std::map<std::wstring, ExpectedKey> keys;
    for (const RegFileKey& k : file.keys) {
        if (k.root == 0) {
            problem = L"unbekannter Hauptschlüssel in [" + k.path + L"]";
            return false;
        }
        const std::wstring id = std::to_wstring(k.root) + L"\\" + ToLower(k.path);
        if (k.remove) {
            for (auto& [other, e] : keys)
                if (Below(other, id)) {
                    e.present = false;
                    e.values.clear();
                }
            ExpectedKey& gone = keys[id];
            gone.root = k.root;
            gone.path = k.path;
            gone.present = false;
            continue;
        }
        ExpectedKey& e = keys[id];
        e.root = k.root;
        e.path = k.path;
        e.present = true;
        for (const RegFileValue& v : k.values)
            e.values[ToLower(v.name)] = {v.name, v.remove ? std::nullopt : std::optional<RegFileValue>(v)};
    }
    // Writing a key creates its parents: a deleted key with a written key below it exists again.
    for (auto& [id, e] : keys)
        if (!e.present)
            for (const auto& [other, o] : keys)
                if (o.present && Below(other, id)) {
                    e.present = true;
                    break;
                }

    clsKeyFunc& kf = Service<clsKeyFunc>();
    for (const auto& [id, e] : keys) {
        const bool exists = kf.KeyExist(e.root, e.path, KEY_READ) != 0;
        const std::wstring where = L"[" + KeyText(e.root, e.path) + L"]";
        if (exists != e.present) {
            problem = where + (e.present ? L" fehlt" : L" ist noch vorhanden");
            return false;
        }
        for (const auto& [lower, named] : e.values) {
            const auto& [name, want] = named;
            RegValue got;
            const bool there = kf.ReadValueRaw(e.root, e.path, name, got);
            const std::wstring label = where + L" " + (name.empty() ? L"@" : L"\"" + name + L"\"");
            if (!want) {
                if (there) {
                    problem = label + L" ist noch vorhanden";
                    return false;
                }
                continue;
            }
            if (!there) {
                problem = label + L" fehlt";
                return false;
            }
            const std::string bytes(reinterpret_cast<const char*>(got.data.data()), got.bytes);
            if (got.type != want->type || bytes != want->bytes) {
                problem = label + L" hat einen anderen Wert";
                return false;
            }
        }
    }
    return true;
}

// app/scan/clsCheckKeys.h
#pragma once
#include "registry/clsSearch.h"
#include <functional>
#include <string>
#include <vector>

class clsClassHandler;
class ScanQuestions;
struct ResultRow;

// Judges the scan's hits: groups consecutive hits of one registration (one {GUID} subtree, one
// App Paths entry, one uninstall key), tests the files and drives they name, empty keys and
// uninstall keys, and references between classes, interfaces and type libraries. Every broken
// entry becomes a result row.
class clsCheckKeys {
public:
    explicit clsCheckKeys(clsClassHandler& handler) : handler_(handler) {}

    // Drive roots ("X:\", or "\\server\share\" for network paths) the user answered No / Yes for.
    std::vector<std::wstring> cNotToDelDrive;
    std::vector<std::wstring> cToDelDrive;
    // Set when a hit closed the previous group without joining the new one: offer it again.
    bool NotNext = false;

    // Where rows go and who answers the drive questions (no one: the answer is No).
    void SetRowSink(std::function<void(ResultRow&&)> sink) { sink_ = std::move(sink); }
    void SetQuestions(ScanQuestions* questions) { questions_ = questions; }

    void CheckReg(const ScanHit& hit);
    void CheckQuerVerbindung(const ScanHit& hit);
    // Applies the rules to entry `index` (0-based) of the open group; may empty the group.
    void CheckFile(size_t index);
    // Checks the group that is still open after the last hit and forgets it.
    void FinishGroup();
    // Forgets the group and the drive answers (a new scan).
    void Reset();

    size_t GroupSize() const { return group_.size(); }
    // The path the file rule tests for a value's data (placeholders replaced, quotes and
    // arguments removed), lower case.
    static std::wstring CleanPath(const std::wstring& data);

private:
    enum class Rule { File, Plain };
    void CheckGroup();
    void Report(const ScanHit& judged, Rule rule);
    void AddRow(const ScanHit& entry, const std::wstring& data, RootKey rowRoot);
    bool DriveMayGo(const std::wstring& drive, int kind);
    static std::wstring DeriveGroupKey(const std::wstring& k, bool withBackslash);
    bool InGroup(const ScanHit& hit, const std::wstring& k) const;

    clsClassHandler& handler_;
    std::function<void(ResultRow&&)> sink_;
    ScanQuestions* questions_ = nullptr;
    std::wstring groupKey_;
    RootKey groupRoot_ = 0;
    bool groupOpen_ = false;
    std::vector<ScanHit> group_;
};

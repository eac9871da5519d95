// A removal and a write-back that fail at each of their writes in turn, to the registry and to the
// undo file: whatever the failure, writing the run's undo file back gives the registry as it was.
#include "backup/RegFileReader.h"
#include "backup/RestorePlan.h"
#include "core/AppEnvironment.h"
#include "journal/ChangeJournal.h"
#include "journal/RegistryTree.h"
#include "journal/UndoFile.h"
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace regtree;

namespace {
const HKEY cu = HKEY_CURRENT_USER;
const std::wstring kBase = L"Software\\TorvaneTest\\Schreiben";

using RegistryWriteFn = std::function<bool(const RegChange&)>;
using UndoWriteFn = std::function<BOOL(HANDLE, const void*, DWORD, DWORD*)>;

// Counts the journal's writes to the registry and to its undo file in the order they come ("R" and
// "U", the failed one in lower case) and makes one of them fail: registry write `failRegistry`
// changes nothing and answers false (a tree loses its first sub-key before, with `halfTree`, as a
// deletion that breaks off half-way); undo write `failUndo` gets half its bytes to the disk, then
// the disk is full.
class WritePoints {
public:
    WritePoints(int failRegistry, int failUndo, bool halfTree)
        : failRegistry_(failRegistry), failUndo_(failUndo), halfTree_(halfTree),
          registryGuard_(ChangeJournal::RegistryWrite()), undoGuard_(UndoFile::WriteAction()) {
        ChangeJournal::RegistryWrite() = [this](const RegChange& c) {
            const RegistryWriteFn& real = registryGuard_.Saved();
            if (++registry != failRegistry_) {
                events += 'R';
                return real(c);
            }
            events += 'r';
            RegKey h;
            std::wstring sub;
            if (halfTree_ && c.kind == RegChange::Kind::DeleteTree && h.Open(ToHkey(c.root), c.key, KEY_READ) == ERROR_SUCCESS &&
                EnumKey(h.get(), 0, sub) == ERROR_SUCCESS) {
                h.Close();
                real(RegChange::DeleteTree(c.root, c.key + L"\\" + sub));
            }
            return false;
        };
        UndoFile::WriteAction() = [this](HANDLE file, const void* data, DWORD size, DWORD* written) {
            const UndoWriteFn& real = undoGuard_.Saved();
            if (++undo != failUndo_) {
                events += 'U';
                const BOOL ok = real(file, data, size, written);
                if (ok) undoBytes.append(static_cast<const char*>(data), *written);
                return ok;
            }
            events += 'u';
            real(file, data, size / 2, written);
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        };
    }
    WritePoints(const WritePoints&) = delete;
    WritePoints& operator=(const WritePoints&) = delete;

    int registry = 0, undo = 0;  // writes asked for, the failed one with them
    std::string events;
    std::string undoBytes;  // what the writes that went through brought to the undo file

private:
    const int failRegistry_, failUndo_;
    const bool halfTree_;
    SeamGuard<RegistryWriteFn> registryGuard_;
    SeamGuard<UndoWriteFn> undoGuard_;
};

// What a run left: its undo file ("" when none was made), how many of its changes stayed, and
// whether the undo file could not be made or written.
struct RunResult {
    std::wstring undoFile;
    size_t kept = 0;
    bool undoProblem = false;
    std::wstring why;  // for the failure messages
};

struct WritePointTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    int runs = 0;
    Tree before;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
    }

    // Every run its own backup folder: no run's undo file waits for the next second's name, and a
    // folder left empty shows that no file stayed behind.
    void NextBackupFolder() {
        AppEnvironment.BackupDir = folder.Path() + L"Lauf" + std::to_wstring(++runs) + L"\\";
        CreateDirectoryW(AppEnvironment.BackupDir.c_str(), nullptr);
    }
    static bool FolderEmpty(const std::wstring& dir) {
        WIN32_FIND_DATAW found;
        const HANDLE h = FindFirstFileW((dir + L"*.reg").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return true;
        FindClose(h);
        return false;
    }

    // The tree every run starts from: keys of several levels, an empty one, values of every kind.
    void Plant() {
        RegDeleteTreeW(cu, kBase.c_str());
        RegDeleteKeyW(cu, kBase.c_str());
        SetText(cu, kBase + L"\\Alt", L"Pfad", REG_EXPAND_SZ, L"%SystemRoot%\\alt.dll");
        SetData(cu, kBase + L"\\Alt", L"Zahl", REG_DWORD, Bytes({0x2a, 0, 0, 0x80}));
        SetText(cu, kBase + L"\\Alt\\Unter", L"", REG_SZ, L"unten");
        SetData(cu, kBase + L"\\Alt\\Unter", L"Bin", REG_BINARY, Bytes({0, 1, 0xfe, 0xff}));
        SetData(cu, kBase + L"\\Alt\\Unter\\Tief", L"Multi", REG_MULTI_SZ, Utf16(std::wstring(L"eins\0zwei\0\0", 11)));
        RegKey empty;
        ASSERT_EQ(empty.Create(cu, kBase + L"\\Alt\\Leer"), ERROR_SUCCESS);
        SetText(cu, kBase + L"\\Werte", L"", REG_SZ, L"Standard");
        SetText(cu, kBase + L"\\Werte", L"a", REG_SZ, L"äöü \"x\"");
        SetData(cu, kBase + L"\\Werte", L"b", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
        SetData(cu, kBase + L"\\Werte", L"c", REG_NONE, "");
        SetData(cu, kBase + L"\\Zwei", L"x", REG_DWORD, Bytes({7, 0, 0, 0}));
        SetText(cu, kBase + L"\\Zwei\\Kind", L"y", REG_SZ, L"kind");
        SetData(cu, kBase + L"\\Drei", L"z", REG_BINARY, Bytes({9}));
    }

    // Writes an undo file back with every row that changes something, conflicts too: a tree whose
    // deletion broke off exists still and is a conflict, yet what it lost must come back.
    void WriteBackAll(const std::wstring& file, const std::string& context) {
        NextBackupFolder();
        const RestorePlan plan = PlanRestore(file);
        ASSERT_TRUE(plan.readable && !plan.damaged) << context << ToUtf8(plan.problem + plan.damage);
        std::vector<bool> all;
        for (const RestoreRow& row : plan.rows) all.push_back(row.change != RestoreRow::Change::Same);
        const RestoreResult r = WriteBack(plan, all);
        EXPECT_TRUE(r.verified) << context << ToUtf8(r.problem);
        EXPECT_EQ(r.kept, 0u) << context;
    }

    // A run without failures: every write of it counted. Its undo file brings the tree back, too.
    std::pair<int, int> Count(const std::function<RunResult()>& run) {
        Plant();
        before = Snapshot(cu, kBase);
        NextBackupFolder();
        RunResult r;
        int registry = 0, undo = 0;
        {
            WritePoints points(0, 0, false);
            r = run();
            registry = points.registry;
            undo = points.undo;
        }
        EXPECT_EQ(r.kept, 0u) << ToUtf8(r.why);
        EXPECT_FALSE(r.undoProblem);
        EXPECT_NE(Differences(before, Snapshot(cu, kBase)), "") << "the run changed nothing";
        WriteBackAll(r.undoFile, "without failure: ");
        EXPECT_EQ(Differences(before, Snapshot(cu, kBase)), "");
        return {registry, undo};
    }

    // The run once more, with registry write `k` failing.
    void FailRegistryWrite(const std::function<RunResult()>& run, int k, bool halfTree) {
        const std::string context = "registry write " + std::to_string(k) + (halfTree ? " (half a tree)" : "") + ": ";
        Plant();
        ASSERT_EQ(Differences(before, Snapshot(cu, kBase)), "");
        NextBackupFolder();
        RunResult r;
        std::string events;
        {
            WritePoints points(k, 0, halfTree);
            r = run();
            events = points.events;
        }
        ASSERT_EQ(std::count(events.begin(), events.end(), 'r'), 1) << context << events;
        // Only the change whose write failed stays; the journal read it back.
        EXPECT_EQ(r.kept, 1u) << context << ToUtf8(r.why);
        EXPECT_FALSE(r.undoProblem) << context;
        WriteBackAll(r.undoFile, context);
        EXPECT_EQ(Differences(before, Snapshot(cu, kBase)), "") << context << events;
    }

    // The run once more, with undo write `k` failing half-way.
    void FailUndoWrite(const std::function<RunResult()>& run, int k) {
        const std::string context = "undo write " + std::to_string(k) + ": ";
        Plant();
        ASSERT_EQ(Differences(before, Snapshot(cu, kBase)), "");
        NextBackupFolder();
        const std::wstring dir = AppEnvironment.BackupDir;
        RunResult r;
        std::string events, reached;
        {
            WritePoints points(0, k, false);
            r = run();
            events = points.events;
            reached = points.undoBytes;
        }
        const size_t failed = events.find('u');
        ASSERT_NE(failed, std::string::npos) << context << events;
        // Nothing changes in the registry once the undo file failed.
        EXPECT_EQ(events.find_first_of("Rr", failed), std::string::npos) << context << events;
        EXPECT_TRUE(r.undoProblem) << context;
        EXPECT_GT(r.kept, 0u) << context;
        if (r.undoFile.empty()) {
            // The file could not even get its first lines: it is gone, and nothing was changed.
            EXPECT_TRUE(FolderEmpty(dir)) << context;
            EXPECT_EQ(events.find_first_of("Rr"), std::string::npos) << context << events;
            EXPECT_EQ(Differences(before, Snapshot(cu, kBase)), "") << context;
            return;
        }
        // The file holds exactly the writes that went through whole, and reads as a registry file.
        EXPECT_EQ(ReadBytes(r.undoFile), reached) << context;
        const RegFile file = ReadRegFile(r.undoFile);
        EXPECT_TRUE(file.Readable() && !file.Damaged()) << context << ToUtf8(file.problem + file.damage);
        WriteBackAll(r.undoFile, context);
        EXPECT_EQ(Differences(before, Snapshot(cu, kBase)), "") << context << events;
    }

    void EveryWritePoint(const char* what, const std::function<RunResult()>& run, int expectedRegistryWrites) {
        const auto [registry, undo] = Count(run);
        EXPECT_EQ(registry, expectedRegistryWrites);
        EXPECT_GE(undo, 3);  // at least the byte-order mark, the first lines and one save
        std::printf("%s: %d registry writes, %d undo writes\n", what, registry, undo);
        RecordProperty("registry_writes", registry);
        RecordProperty("undo_writes", undo);
        for (int k = 1; k <= registry; ++k)
            for (bool halfTree : {false, true}) FailRegistryWrite(run, k, halfTree);
        for (int k = 1; k <= undo; ++k) FailUndoWrite(run, k);
    }
};
}  // namespace

// Deletions of trees and values, the trees saved in batches and the values one by one, among them a
// tree above one that waits, a default value and a value that is not there.
TEST_F(WritePointTest, RemovalFailingAtEachWrite) {
    const std::vector<RegChange> changes = {
        RegChange::DeleteTree(kHKCU, kBase + L"\\Alt"),
        RegChange::DeleteValue(kHKCU, kBase + L"\\Werte", L"a"),
        RegChange::DeleteTree(kHKCU, kBase + L"\\Zwei\\Kind"),
        RegChange::DeleteTree(kHKCU, kBase + L"\\Zwei"),
        RegChange::DeleteValue(kHKCU, kBase + L"\\Werte", L""),
        RegChange::DeleteValue(kHKCU, kBase + L"\\Werte", L"fehlt"),
        RegChange::DeleteTree(kHKCU, kBase + L"\\Drei"),
        RegChange::DeleteValue(kHKCU, kBase + L"\\Werte", L"b"),
    };
    EveryWritePoint("removal", [&] {
        ChangeJournal journal(L"RegScan", L"Test", L"WritePoints");
        const JournalResult r = journal.Apply(changes);
        RunResult out;
        out.undoFile = journal.FileMade() ? journal.UndoPath() : L"";
        out.kept = r.Kept();
        out.undoProblem = r.undoProblem != JournalResult::UndoProblem::None;
        for (const ChangeOutcome& o : r.items) out.why += o.done ? L"done\n" : L"kept: " + o.reason + L"\n";
        return out;
    }, 7);  // every change but the missing value's
}

// A write-back that makes keys and values, changes values (one to another type), removes values
// and trees: every row chosen.
TEST_F(WritePointTest, WriteBackFailingAtEachWrite) {
    const std::wstring root = L"HKEY_CURRENT_USER\\" + kBase;
    const std::wstring file = folder.Write(
        L"zurück.reg", "\xFF\xFE" + Utf16(kHeader5 +
                                          L"[" + root + L"\\Neu\\Tief]\r\n\"a\"=\"eins\"\r\n\"b\"=dword:00000007\r\n\r\n"
                                          L"[" + root + L"\\Werte]\r\n\"a\"=hex:01,02\r\n\"b\"=-\r\n"
                                          L"\"neu\"=hex(2):25,00,54,00,00,00\r\n@=\"anders\"\r\n\"c\"=hex(0):\r\n\r\n"
                                          L"[-" + root + L"\\Alt]\r\n\r\n"
                                          L"[-" + root + L"\\Zwei\\Kind]\r\n\r\n"
                                          L"[" + root + L"\\Drei\\Neu]\r\n\r\n"));
    EveryWritePoint("write-back", [&] {
        const RestorePlan plan = PlanRestore(file);
        RunResult out;
        if (!plan.readable) {
            ADD_FAILURE() << ToUtf8(plan.problem);
            return out;
        }
        std::vector<bool> all;
        for (const RestoreRow& row : plan.rows) all.push_back(row.change != RestoreRow::Change::Same);
        const RestoreResult r = WriteBack(plan, all);
        out.undoFile = r.undoFile;
        out.kept = r.kept;
        out.undoProblem = r.problem.find(L"Die Sicherungsdatei") == 0;
        for (const std::wstring& line : r.keptReasons) out.why += line + L"\n";
        out.why += r.problem;
        return out;
    }, 10);  // two keys made, two values made there, four values of Werte, two trees removed
}

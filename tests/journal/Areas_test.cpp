// tests/journal/Areas_test.cpp: each kind changes only its own areas, and a name is judged in the
// form the registry functions act on.
#include "core/AppEnvironment.h"
#include "journal/Areas.h"
#include "journal/ChangeJournal.h"
#include "journal/RegistryTree.h"
#include "scan/ScanTestRegistry.h"

using namespace regtree;

namespace {
const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kRun32 = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const std::wstring kOutside = L"liegt außerhalb der Bereiche, die Torvane ändert";

struct Areas : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
    }
};

struct Case {
    const wchar_t* kind;
    Touch touch;
    RootKey root;
    std::wstring key;
    std::wstring value;
    bool allowed;
};
}  // namespace

// The table, kind by kind, in both roots and both views: what lies inside, and what lies just outside.
TEST(AreasTable, EachKindInsideAndJustOutside) {
    const Touch del = Touch::DeleteKey, make = Touch::MakeKey, val = Touch::Value;
    const std::wstring clsid = L"Software\\Classes\\CLSID\\{7E000001-0000-0000-0000-000000000001}";
    const Case cases[] = {
        {L"RegScan", del, kHKLM, clsid, L"", true},
        {L"RegScan", del, kHKCU, clsid + L"\\InprocServer32", L"", true},
        {L"RegScan", del, kHKLM, L"Software\\Classes\\Wow6432Node\\CLSID\\{7E000001-0000-0000-0000-000000000001}", L"", true},
        {L"RegScan", del, kHKLM, L"Software\\Wow6432Node\\Classes\\CLSID\\{7E000001-0000-0000-0000-000000000001}", L"", true},
        {L"RegScan", del, kHKLM, L"Software\\Classes\\Interface\\{1}", L"", true},
        {L"RegScan", del, kHKLM, L"Software\\Classes\\TypeLib\\{1}", L"", true},
        {L"RegScan", del, kHKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\alt.exe", L"", true},
        {L"RegScan", del, kHKLM, L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Alt", L"", true},
        {L"RegScan", del, kHKLM, L"Software\\Classes\\CLSID", L"", false},
        {L"RegScan", del, kHKLM, L"Software\\Classes\\AppID\\{1}", L"", false},
        {L"RegScan", del, kHKLM, L"SYSTEM\\CurrentControlSet\\Services\\Alt", L"", false},
        {L"RegScan", val, kHKCU, kRun, L"Alt", false},
        {L"Programme", del, kHKCU, kUninstall + L"Alt", L"", true},
        {L"Programme", del, kHKLM, kUninstall + L"Alt\\Unter", L"", false},
        {L"Programme", del, kHKLM, L"Software\\Classes\\.alt", L"", false},
        {L"AutoRun", val, kHKCU, kRun, L"Alt", true},
        {L"AutoRun", val, kHKLM, kRun32, L"Alt", true},
        {L"AutoRun", val, kHKLM, L"software\\microsoft\\windows\\currentversion\\RUNONCE", L"Alt", true},
        {L"AutoRun", val, kHKCU, kExplorer + L"StartupApproved\\Run32", L"Alt", true},
        {L"AutoRun", make, kHKLM, kRun32, L"", true},
        {L"AutoRun", del, kHKCU, kRun, L"", false},
        {L"AutoRun", val, kHKCU, kRun + L"\\Unter", L"Alt", false},
        {L"AutoRun", val, kHKLM, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Shell", false},
        {L"AutoRun", val, kHKLM, L"SYSTEM\\CurrentControlSet\\Services\\Alt", L"ImagePath", false},
        {L"Dateierweiterung", del, kHKCU, L"Software\\Classes\\.alt", L"", true},
        {L"Dateierweiterung", del, kHKLM, L"Software\\Classes\\Alt.Datei", L"", true},
        {L"Dateierweiterung", val, kHKCU, L"Software\\Classes\\Alt.Datei\\shell\\open\\command", L"", true},
        {L"Dateierweiterung", del, kHKLM, clsid, L"", false},
        {L"Dateierweiterung", del, kHKLM, L"Software\\Microsoft\\Windows\\CurrentVersion", L"", false},
        {L"Verlauf", del, kHKCU, kExplorer + L"RecentDocs", L"", true},
        {L"Verlauf", del, kHKCU, kExplorer + L"ComDlg32\\OpenSaveMRU\\txt", L"", true},
        {L"Verlauf", del, kHKCU, kExplorer + L"FileExts\\.txt\\OpenWithList", L"", true},
        {L"Verlauf", del, kHKCU, kExplorer + L"FileExts\\.txt\\UserChoice", L"", false},
        {L"Verlauf", del, kHKLM, kExplorer + L"RecentDocs", L"", false},
        {L"Verlauf", del, kHKCU, kExplorer + L"Shell Folders", L"", false},
        {L"Office", del, kHKCU, L"Software\\Microsoft\\Office\\16.0\\Word", L"", true},
        {L"Office", val, kHKCU, L"Software\\Microsoft\\Office\\16.0\\Word\\Data", L"Settings", true},
        {L"Office", val, kHKCU, L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft Word", L"Enabled", true},
        {L"Office", val, kHKCU, L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft Word", L"Anders", false},
        {L"Office", val, kHKCU, L"Software\\Policies\\Microsoft\\Security", L"CheckAdminSettings", true},
        {L"Office", val, kHKCU, L"Software\\Policies\\Microsoft\\Security", L"Anders", false},
        {L"Office", del, kHKCU, L"Software\\Microsoft\\Office\\16.0", L"", false},
        {L"Office", del, kHKLM, L"Software\\Microsoft\\Office\\16.0\\Word", L"", false},
        // A write-back may do what one of the tools may do, and nothing else.
        {L"Wiederherstellung", val, kHKCU, kRun, L"Alt", true},
        {L"Wiederherstellung", del, kHKLM, clsid, L"", true},
        {L"Wiederherstellung", del, kHKCU, kExplorer + L"RunMRU", L"", true},
        {L"Wiederherstellung", del, kHKLM, L"SYSTEM\\CurrentControlSet\\Services", L"", false},
        {L"Wiederherstellung", del, kHKLM, L"SAM", L"", false},
        {L"Wiederherstellung", del, kHKLM, L"SECURITY\\Policy", L"", false},
        {L"Wiederherstellung", del, kHKLM, L"BCD00000000", L"", false},
        {L"Wiederherstellung", val, kHKLM, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", L"Userinit", false},
        {L"Wiederherstellung", del, kHKLM, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21", L"", false},
        {L"Wiederherstellung", val, kHKCU, L"Software\\Policies\\Microsoft\\Windows\\System", L"DisableCMD", false},
        {L"Wiederherstellung", val, kHKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", L"EnableLUA", false},
        {L"Unbekannt", val, kHKCU, kRun, L"Alt", false},
    };
    for (const Case& c : cases) {
        const std::wstring why = WhyOutsideAreas(c.kind, c.touch, c.root, c.key, c.value);
        EXPECT_EQ(why.empty(), c.allowed) << ToUtf8(std::wstring(c.kind) + L" " + c.key + L" \"" + c.value + L"\": " + why);
        if (!c.allowed) {
            EXPECT_EQ(why, kOutside);
        }
    }
}

// Every other name of a key is brought to the one the registry functions act on; a name they would
// act on otherwise than written is refused.
TEST_F(Areas, NamesAreJudgedAsTheSystemResolvesThem) {
    const std::wstring sid = OwnSid();
    ASSERT_FALSE(sid.empty());
    auto resolved = [](RootKey root, const std::wstring& key, const std::wstring* value = nullptr) {
        const ResolvedName r = ResolveRegName(root, key, value);
        return r.why.empty() ? clsKeyFunc::HiveName(r.root) + L"\\" + r.key : L"refused: " + r.why;
    };
    EXPECT_EQ(resolved(kHKU, sid + L"\\" + kRun), L"HKEY_CURRENT_USER\\" + kRun);
    EXPECT_EQ(resolved(kHKU, ToLower(sid) + L"_CLASSES\\CLSID"), L"HKEY_CURRENT_USER\\Software\\Classes\\CLSID");
    EXPECT_EQ(resolved(kHKCC, L"Software"),
              L"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software");
    // The merged classes: the user's key where there is one, the machine's otherwise, in both views.
    PutSz(HKEY_CURRENT_USER, L"Software\\Classes\\Nur.Benutzer", L"", L"u");
    EXPECT_EQ(resolved(kHKCR, L"nur.benutzer"), L"HKEY_CURRENT_USER\\Software\\Classes\\nur.benutzer");
    EXPECT_EQ(resolved(kHKCR, L"Wow6432Node\\CLSID"), L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\CLSID");

    for (const std::wstring& refused :
         {resolved(kHKCU, std::wstring(L"Software\\Alt\0Run", 15)), resolved(kHKCU, L"Software\\\\Alt"),
          resolved(kHKCU, L"\\Software\\Alt"), resolved(kHKCU, L"Software\\Alt\\"), resolved(kHKU, L".DEFAULT\\" + kRun),
          resolved(kHKU, L"S-1-5-18\\" + kRun), resolved(kHKU, L"S-1-5-21-1-2-3-1001\\" + kRun), resolved(kHKU, sid),
          resolved(kHKU, L""), resolved(kHKPD, L"")})
        EXPECT_EQ(refused.rfind(L"refused: ", 0), 0u) << ToUtf8(refused);
    const std::wstring nul(L"Alt\0Neu", 7);
    EXPECT_EQ(resolved(kHKCU, kRun, &nul).rfind(L"refused: ", 0), 0u);
}

// Through the journal: a crafted write-back reaches nothing outside the areas, whatever name it
// gives, and reaches the sandbox's own keys by their other names.
TEST_F(Areas, AWriteBackByEveryNameChangesOnlyWhatSomeToolMay) {
    const std::wstring sid = OwnSid();
    const std::wstring userClass = L"Software\\Classes\\CLSID\\{7E000002-0000-0000-0000-000000000001}";
    const std::wstring machineClass = L"Software\\Classes\\CLSID\\{7E000002-0000-0000-0000-000000000002}";
    PutSz(HKEY_CURRENT_USER, kRun, L"Alt", L"C:\\alt.exe");
    PutSz(HKEY_CURRENT_USER, kRun, L"Bleibt", L"C:\\bleibt.exe");
    PutSz(HKEY_CURRENT_USER, userClass, L"", L"u");
    PutSz(HKEY_LOCAL_MACHINE, userClass, L"", L"m");
    PutSz(HKEY_LOCAL_MACHINE, machineClass, L"", L"m");
    PutSz(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node\\CLSID\\{7E000002-0000-0000-0000-000000000003}", L"", L"32");
    PutSz(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\Alt", L"ImagePath", L"alt.sys");
    PutSz(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Alt", L"v", L"1");

    ChangeJournal journal(L"Wiederherstellung", L"Test", L"Journal");
    const JournalResult r = journal.Apply({
        RegChange::DeleteTree(kHKCU, kRun + std::wstring(L"\0", 1)),                   // 0: the API would stop at the NUL
        RegChange::DeleteValue(kHKCU, kRun, std::wstring(L"Bleibt\0x", 8)),            // 1
        RegChange::DeleteTree(kHKU, sid + L"\\" + kRun),                               // 2: the user's Run key itself
        RegChange::DeleteValue(kHKU, sid + L"\\" + kRun, L"Alt"),                      // 3: its value: done
        RegChange::DeleteTree(kHKCR, L"Wow6432Node\\CLSID"),                           // 4: every 32-bit class
        RegChange::DeleteTree(kHKCR, L"CLSID\\{7E000002-0000-0000-0000-000000000001}"),  // 5: the user's one goes
        RegChange::DeleteTree(kHKCR, L"CLSID\\{7E000002-0000-0000-0000-000000000002}"),  // 6: only the machine has it
        RegChange::DeleteTree(kHKLM, L"SYSTEM\\CurrentControlSet\\Services"),          // 7
        RegChange::DeleteTree(kHKCC, L"Software\\Alt"),                                // 8
        RegChange::DeleteTree(kHKU, L".DEFAULT\\" + kRun),                             // 9
        RegChange::DeleteTree(kHKCU, L"Software\\Classes\\\\CLSID"),                   // 10
        RegChange::DeleteTree(kHKU, sid + L"_Classes\\Wow6432Node"),                   // 11
    });
    std::wstring reasons;
    for (const ChangeOutcome& o : r.items) reasons += (o.done ? L"done" : o.reason) + L"\n";
    for (size_t i : {0, 1, 2, 4, 7, 8, 9, 10, 11}) {
        EXPECT_FALSE(r.items[i].done) << i << "\n" << ToUtf8(reasons);
        EXPECT_TRUE(r.items[i].protectedPlace) << i;
    }
    for (size_t i : {3, 5, 6}) EXPECT_TRUE(r.items[i].done) << i << "\n" << ToUtf8(reasons);
    EXPECT_NE(r.items[0].reason.find(L"Nullzeichen"), std::wstring::npos);
    EXPECT_NE(r.items[1].reason.find(L"Nullzeichen"), std::wstring::npos);
    EXPECT_EQ(r.items[2].reason, kOutside);
    EXPECT_EQ(r.items[7].reason, kOutside);
    EXPECT_EQ(r.items[8].reason, kOutside);
    EXPECT_NE(r.items[9].reason.find(L"anderen Benutzer"), std::wstring::npos);
    EXPECT_NE(r.items[10].reason.find(L"leeren Teil"), std::wstring::npos);

    RegValue v;
    EXPECT_FALSE(KF().ReadValueRaw(kHKCU, kRun, L"Alt", v));  // reached by its other name, in the sandbox
    EXPECT_TRUE(KF().ReadValueRaw(kHKCU, kRun, L"Bleibt", v));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, userClass));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, userClass));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, machineClass));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node\\CLSID\\{7E000002-0000-0000-0000-000000000003}"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\Alt"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Alt"));
    // What stays was not saved: the undo file holds exactly what went.
    const std::wstring text = FileText(journal.UndoPath());
    EXPECT_EQ(text.find(L"Services"), std::wstring::npos);
    EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\" + userClass + L"]"), std::wstring::npos);
}

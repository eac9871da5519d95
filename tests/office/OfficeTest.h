// tests/office/OfficeTest.h: the Office window opened inside the main window, with planted suites.
#pragma once
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "main/WindowHandler.h"
#include "errors/clsError.h"
#include "office/frmOffice.h"
#include "office/frmOffice.rh"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <sddl.h>

class OfficeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Protokoll = 1;
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }

    frmOffice& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        f.Command(IDM_mnuOfficeShow);
        DoEvents();
        return WindowHandler().Get<frmOffice>();
    }

    // Keys and values, written below the sandbox's roots.
    static void PutKey(HKEY root, const std::wstring& key, DWORD options = 0) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, key.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS)
            << ToUtf8(key);
        RegCloseKey(h);
    }
    static void PutSz(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& data) {
        PutKey(root, key);
        RegSetKeyValueW(root, key.c_str(), name.c_str(), REG_SZ, data.c_str(), DWORD((data.size() + 1) * sizeof(wchar_t)));
    }
    static void PutDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD data) {
        PutKey(root, key);
        RegSetKeyValueW(root, key.c_str(), name.c_str(), REG_DWORD, &data, sizeof data);
    }
    static bool KeyThere(HKEY root, const std::wstring& key) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
        RegCloseKey(h);
        return true;
    }
    static bool ValueThere(HKEY root, const std::wstring& key, const std::wstring& name) {
        return RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    static std::wstring Sz(HKEY root, const std::wstring& key, const std::wstring& name) {
        wchar_t buf[4096] = L"";
        DWORD size = sizeof buf;
        if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
            return L"<fehlt>";
        return buf;
    }
    static DWORD Dword(HKEY root, const std::wstring& key, const std::wstring& name) {
        DWORD v = 0xFFFFFFFF, size = sizeof v;
        RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &v, &size);
        return v;
    }
    // Leaves only reading to everyone: the key can be neither changed nor deleted.
    static void ReadOnly(HKEY root, const std::wstring& key) {
        HKEY h = nullptr;
        ASSERT_EQ(RegOpenKeyExW(root, key.c_str(), 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &sd, nullptr));
        EXPECT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
        LocalFree(sd);
        RegCloseKey(h);
    }

    // A suite: its InstallRoot (with a folder that exists, or one that is gone) and application keys.
    std::wstring PlantSuite(const std::wstring& base, const std::wstring& version, bool folderThere,
                            std::initializer_list<const wchar_t*> apps) {
        const std::wstring dir = folderThere ? folder.Path() + L"Office " + version + L"\\" : folder.Path() + L"weg\\";
        if (folderThere) folder.Write(L"Office " + version + L"\\setup.dat");
        PutSz(HKEY_LOCAL_MACHINE, base + version + L"\\Common\\InstallRoot", L"Path", dir);
        for (const wchar_t* app : apps) PutKey(HKEY_LOCAL_MACHINE, base + version + L"\\" + app);
        return dir;
    }
    static constexpr const wchar_t* k64 = L"Software\\Microsoft\\Office\\";
    static constexpr const wchar_t* k32 = L"Software\\Wow6432Node\\Microsoft\\Office\\";

    static void Click(frmOffice& o, int id) { SendMessageW(o.Item(id), BM_CLICK, 0, 0); }
    static bool Checked(frmOffice& o, int id) { return IsDlgButtonChecked(o.hwnd(), id) == BST_CHECKED; }
    static std::vector<std::wstring> Column(const ListView& l, int column = 0) {
        std::vector<std::wstring> out;
        for (int i = 0; i < l.Count(); ++i) out.push_back(l.Cell(i, column));
        return out;
    }
    static int RowOf(const ListView& l, const std::wstring& text) {
        for (int i = 0; i < l.Count(); ++i)
            if (l.Cell(i, 0) == text) return i;
        return -1;
    }
    static void SelectOnly(const ListView& l, std::initializer_list<const wchar_t*> texts) {
        for (int i = 0; i < l.Count(); ++i) l.Select(i, false);
        for (const wchar_t* t : texts) {
            const int row = RowOf(l, t);
            ASSERT_GE(row, 0) << ToUtf8(t);
            l.Select(row, true);
        }
    }
    // The undo files of the backup folder, oldest name first.
    std::vector<std::wstring> UndoFiles() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((AppEnvironment.BackupDir + L"*.reg").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return names;
        do names.push_back(fd.cFileName);
        while (FindNextFileW(h, &fd));
        FindClose(h);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::wstring UndoText(const std::wstring& name) const { return FromAnsi(ReadBytes(AppEnvironment.BackupDir + name)); }
    std::wstring Log() const { return FromAnsi(ReadBytes(clsError::LogPath())); }

    KeepProcessOnFrameExit frameExit;
    RegistrySandbox sandbox;
    TempFolder folder;
};

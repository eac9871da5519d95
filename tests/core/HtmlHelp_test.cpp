// tests/core/HtmlHelp_test.cpp: a help file the viewer would open and then refuse to show (a
// download from the internet, a file on a share) goes to the browser, as where no viewer renders.
#include "core/AppEnvironment.h"
#include "core/HtmlHelp.h"
#include "support/Browser.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
class HelpFile : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        InstallHelp(folder.Path());
        saved = HelpViewerAction();
        HelpViewerAction() = [this](HWND, const std::wstring& fileAndTopic) {
            viewer.push_back(fileAndTopic);
            return true;
        };
    }
    void TearDown() override { HelpViewerAction() = saved; }
    // Marks the help file as Windows marks a download from that zone.
    void Mark(const char* zone) const {
        folder.Write(L"Torvane.chm:Zone.Identifier", std::string("[ZoneTransfer]\r\nZoneId=") + zone + "\r\n");
    }
    std::wstring Chm() const { return folder.Path() + L"Torvane.chm"; }

    TempFolder folder;
    FakeBrowser browser{folder.Path()};
    std::vector<std::wstring> viewer;
    std::function<bool(HWND, const std::wstring&)> saved;
};
}  // namespace

TEST_F(HelpFile, ALocalFileOpensInTheViewerAtItsPage) {
    OpenHelp(nullptr, L"optionen.html");
    ASSERT_EQ(viewer.size(), 1u);
    EXPECT_EQ(viewer[0], Chm() + L"::/html/optionen.html");
    EXPECT_TRUE(browser.Pages().empty());
    // A mark of this computer's own zone blocks nothing.
    Mark("0");
    EXPECT_FALSE(HelpFileBlocked(Chm()));
}

TEST_F(HelpFile, ADownloadedFileGoesToTheBrowser) {
    Mark("3");
    ASSERT_TRUE(HelpFileBlocked(Chm()));
    OpenHelp(nullptr, L"optionen.html");
    EXPECT_TRUE(viewer.empty());
    EXPECT_EQ(browser.WaitForPage(0), "file://" + UnixPath(folder.Path() + L"html\\optionen.html"));
    Mark("4");
    EXPECT_TRUE(HelpFileBlocked(Chm()));
}

TEST_F(HelpFile, AFileOnAShareIsBlockedInEveryForm) {
    EXPECT_TRUE(HelpFileBlocked(L"\\\\server\\hilfe\\Torvane.chm"));
    EXPECT_TRUE(HelpFileBlocked(L"\\\\?\\UNC\\server\\hilfe\\Torvane.chm"));
    EXPECT_TRUE(HelpFileBlocked(L"\\\\localhost\\C$\\Torvane\\Torvane.chm"));
    EXPECT_FALSE(HelpFileBlocked(L"\\\\?\\" + Chm()));
    EXPECT_FALSE(HelpFileBlocked(Chm()));
}

// tests/core/ErrorSink_test.cpp
#include "core/AppEnvironment.h"
#include "core/ProtocolLog.h"
#include "core/Trap.h"
#include "main/modMain.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <vector>

namespace {
class ErrorSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Protokoll = 0;
    }
    // The test program runs with the window program's sink; every test leaves it so.
    void TearDown() override { InstallWindowProgram(); }
    std::string Log() { return ReadBytes(folder.Path() + L"torvane.log"); }
    RegistrySandbox sandbox;
    TempFolder folder;
};
}  // namespace

TEST_F(ErrorSinkTest, EveryEntryReachesTheInstalledSinkWithItsStyle) {
    std::vector<ErrorEntry> seen;
    SetErrorSink([&](const ErrorEntry& e) { seen.push_back(e); });
    EXPECT_FALSE(Trap(L"modX", L"Crit", [] { Raise(Err::PathNotFound); }, Style::Critical, true, L"C:\\weg"));
    EXPECT_FALSE(Trap(L"modX", L"Warn", [] { Raise(Err::FileNotFound); }));
    Trace(L"modX", L"Quiet", L"nicht protokolliert");
    AppSwitches.Protokoll = 1;
    Trace(L"modX", L"Traced", L"protokolliert");
    HandleError(L"modX", L"Ask", L"Frage", 0, L"", Style::Question, true);

    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].procedure, L"Crit");
    EXPECT_EQ(seen[0].style, Style::Critical);
    EXPECT_TRUE(seen[0].show);
    EXPECT_EQ(seen[0].number, Err::PathNotFound);
    EXPECT_EQ(seen[0].message, L"C:\\weg");
    // The defaults: a warning nobody is shown.
    EXPECT_EQ(seen[1].style, Style::Warning);
    EXPECT_FALSE(seen[1].show);
    EXPECT_EQ(seen[1].description, L"Datei nicht gefunden");
    EXPECT_EQ(seen[2].procedure, L"Traced");
    EXPECT_EQ(seen[2].style, Style::Information);
    EXPECT_EQ(seen[3].style, Style::Question);
    // The sink decides what is logged: nothing reached the log past it.
    EXPECT_EQ(Log().find("modX"), std::string::npos);
}

TEST_F(ErrorSinkTest, ConsoleSinkLogsPrintsWhatWouldBeShownAndOpensNoWindow) {
    std::vector<std::wstring> printed;
    SetErrorSink(ConsoleErrorSink([&](const std::wstring& line) { printed.push_back(line); }));
    Trap(L"modX", L"Silent", [] { Raise(Err::PermissionDenied); });
    Trap(L"modX", L"Shown", [] { Raise(Err::PathNotFound); }, Style::Critical, true, L"C:\\weg");
    HandleError(L"modX", L"Note", L"Die Protokollierung ist aktiviert.", 0, L"", Style::Information, true);
    Trace(L"modX", L"Trace", L"leise");

    // Shown as the dialog or the message box would have been; an entry nobody sees stays in the log.
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0], L"Laufzeitfehler 76 in modX, Shown: Pfad nicht gefunden (C:\\weg)");
    EXPECT_EQ(printed[1], L"Die Protokollierung ist aktiviert.");
    const std::string log = Log();
    EXPECT_NE(log.find("; modX; Silent; ; 70; "), std::string::npos) << log;
    EXPECT_NE(log.find("; modX; Shown; C:\\weg; 76; Pfad nicht gefunden"), std::string::npos) << log;
    // Information is logged only while logging is on, as in the window program.
    EXPECT_EQ(log.find("Note"), std::string::npos) << log;
    EXPECT_EQ(log.find("Trace"), std::string::npos) << log;
    // Had a dialog or message box opened, the calls above would still be waiting for it.
    EXPECT_EQ(VisibleWindowOf(GetCurrentProcessId(), L"#32770"), nullptr);
}

TEST_F(ErrorSinkTest, WithoutASinkTheEntryStillReachesTheLog) {
    SetErrorSink(nullptr);
    EXPECT_FALSE(Trap(L"modX", L"NoSink", [] { Raise(Err::FileNotFound); }, Style::Critical, true));
    EXPECT_NE(Log().find("; modX; NoSink; ; 53; Datei nicht gefunden"), std::string::npos) << Log();
    EXPECT_EQ(VisibleWindowOf(GetCurrentProcessId(), L"#32770"), nullptr);
}

// tests/scan/ScanReport_test.cpp
#include "main/ClassHandler.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "scan/ScanReport.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
ResultRow Row(const std::wstring& key, const std::wstring& name, const std::wstring& data, Finding finding) {
    ResultRow r;
    r.item = L"[HKEY_CURRENT_USER\\" + key + L"]";
    r.name = name.empty() ? L"@" : L"\"" + name + L"\"";
    r.data = data;
    r.rootText = L"-2147483647";
    r.hit.root = kHKCU;
    r.hit.key = key;
    r.hit.name = name;
    r.hit.type = REG_SZ;
    r.hit.data = data;
    r.finding = finding;
    return r;
}
}  // namespace

TEST(ScanReport, TextTableHasTheCaptionsAndOneLinePerRowWrittenAsUtf8WithBom) {
    TempFolder folder;
    std::vector<ResultRow> rows = {Row(L"Software\\Größe", L"Name", L"a\tb\r\nc", Finding::Uninstall),
                                         Row(L"Software\\K", L"", L"", Finding::EmptyKey)};
    rows[1].lookedFor = L"C:\\weg.dll";
    const std::wstring path = folder.Path() + L"Ergebnis.txt";
    WriteUtf8File(path, ScanTextTable(rows), true);
    const std::string bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(FromUtf8(bytes.substr(3)),
              L"Registryschlüssel\tVariable\tWert\tHKey\tGrund\tGesucht\r\n"
              L"[HKEY_CURRENT_USER\\Software\\Größe]\t\"Name\"\ta b  c\t-2147483647\tDeinstallationseintrag ohne Programm\t\r\n"
              L"[HKEY_CURRENT_USER\\Software\\K]\t@\t\t-2147483647\tLeerer Schlüssel\tC:\\weg.dll\r\n");
    // Written again: the file is replaced, not appended to.
    WriteUtf8File(path, L"x", false);
    EXPECT_EQ(ReadBytes(path), "x");
}

TEST(ScanReport, JsonDocumentWithoutRowsAndAFailedWriteRaises) {
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    ScanEngine engine;
    EXPECT_EQ(ScanJsonDocument(engine, {}, nullptr),
              L"{\n  \"rows\": [],\n  \"rating\": \"\",\n  \"errors\": 0,\n  \"total\": 0,\n  \"percent\": 0.00\n}");
    EXPECT_EQ(JsonString(L"a\"\\\x01\n"), L"\"a\\\"\\\\\\u0001\\n\"");
    folder.Write(L"Datei", "x");
    try {
        WriteUtf8File(folder.Path() + L"Datei\\darunter.txt", L"x", true);
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.number, 0);
        EXPECT_FALSE(e.description.empty());
    }
}

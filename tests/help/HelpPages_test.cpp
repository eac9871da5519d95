// tests/help/HelpPages_test.cpp: the help's pages, contents and index as the build compiles them
// (build/help/stage): every page well-formed, German, UTF-8; every link and picture there; every
// page in the help file and its contents; every window's page among them.
#include "main/WindowHandler.h"
#include "core/win/Dialog.h"
#include "extras/AutorunPage.h"
#include "extras/DefragPage.h"
#include "extras/FileTypesPage.h"
#include "extras/HistoryPage.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <vector>

namespace {
std::wstring Stage() {
    return BinFolder() + L"..\\help\\stage\\";
}
std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::vector<std::string> Pages() {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((Stage() + L"html\\*.html").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring n = fd.cFileName;
        names.emplace_back(n.begin(), n.end());
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> All(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex re(pattern, std::regex::icase);
    for (std::sregex_iterator m(text.begin(), text.end(), re), end; m != end; ++m) found.push_back((*m)[1]);
    return found;
}

// What is wrong with the markup ("" when nothing): every element but the empty ones is closed, in
// order; attribute values are quoted; "&" starts a known entity; "<" starts a tag.
std::string MarkupProblem(const std::string& html) {
    static const std::set<std::string> empty{"area", "base", "br", "col", "hr", "img", "input", "link", "meta", "param", "wbr"};
    static const std::set<std::string> entities{"lt", "gt", "amp", "quot", "nbsp", "auml", "ouml", "uuml", "Auml", "Ouml", "Uuml", "szlig"};
    static const std::regex tag(R"(^<(/?)([a-zA-Z][a-zA-Z0-9]*)((?:\s+[a-zA-Z-]+(?:="[^"<>]*")?)*)\s*>)");
    std::vector<std::string> open;
    for (size_t p = 0; p < html.size();) {
        if (html[p] == '&') {
            const size_t semi = html.find(';', p);
            const std::string name = semi == std::string::npos ? "" : html.substr(p + 1, semi - p - 1);
            if (!entities.count(name) && !std::regex_match(name, std::regex("#[0-9]+|#x[0-9a-fA-F]+")))
                return "unknown entity at " + html.substr(p, 12);
            p = semi + 1;
            continue;
        }
        if (html[p] != '<') {
            ++p;
            continue;
        }
        if (html.compare(p, 9, "<!DOCTYPE") == 0 || html.compare(p, 4, "<!--") == 0) {
            p = html.find(html[p + 2] == '-' ? "-->" : ">", p);
            if (p == std::string::npos) return "unclosed declaration";
            ++p;
            continue;
        }
        std::smatch m;
        const std::string rest = html.substr(p, 400);
        if (!std::regex_search(rest, m, tag)) return "bad tag at " + rest.substr(0, 40);
        std::string name = m[2];
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        if (m[1].length() == 0) {
            if (!empty.count(name)) open.push_back(name);
        } else if (open.empty() || open.back() != name) {
            return "</" + name + "> closes <" + (open.empty() ? std::string("nothing") : open.back()) + ">";
        } else {
            open.pop_back();
        }
        p += m[0].length();
    }
    return open.empty() ? "" : "<" + open.back() + "> is never closed";
}

bool ValidUtf8(const std::string& bytes) {
    return bytes.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                                nullptr, 0) > 0;
}
}  // namespace

TEST(HelpPages, EveryPageIsWellFormedGermanUtf8AndItsLinksAndPicturesResolve) {
    const auto pages = Pages();
    ASSERT_GE(pages.size(), 20u) << "no pages in " << std::string(Stage().begin(), Stage().end());
    std::map<std::string, std::set<std::string>> ids;
    for (const auto& page : pages) {
        const std::string html = ReadBytes(Stage() + L"html\\" + Wide(page));
        for (const auto& id : All(html, R"(\sid="([^"]*)\")")) ids[page].insert(id);
    }
    for (const auto& page : pages) {
        SCOPED_TRACE(page);
        const std::string html = ReadBytes(Stage() + L"html\\" + Wide(page));
        EXPECT_TRUE(ValidUtf8(html));
        EXPECT_NE(html.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no byte-order mark: the viewer shows it";
        EXPECT_EQ(MarkupProblem(html), "");
        EXPECT_EQ(All(html, R"(<html\s+lang="([^"]*)\")"), std::vector<std::string>{"de"});
        EXPECT_EQ(All(html, R"(<meta\s[^>]*charset=([-a-z0-9]+))"), std::vector<std::string>{"utf-8"});
        EXPECT_EQ(All(html, R"(<title>([^<]+)</title>)").size(), 1u);
        EXPECT_EQ(All(html, R"(<h1>([^<]+)</h1>)").size(), 1u);
        for (const auto& target : All(html, R"(\s(?:href|src)="([^"]*)\")")) {
            if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0 || target.rfind("mailto:", 0) == 0)
                continue;
            const size_t hash = target.find('#');
            const std::string file = hash == std::string::npos ? target : target.substr(0, hash);
            const std::string anchor = hash == std::string::npos ? "" : target.substr(hash + 1);
            const std::string in = file.empty() ? page : file;
            EXPECT_EQ(file.find_first_of("/\\:"), std::string::npos) << target << ": pages link within their folder";
            EXPECT_TRUE(FileExists(Stage() + L"html\\" + Wide(in))) << target;
            if (!anchor.empty()) {
                EXPECT_TRUE(ids[in].count(anchor)) << target;
            }
        }
    }
}

TEST(HelpPages, HelpFileContentsAndIndexNameEveryPageAndOnlyPagesThatExist) {
    const auto pages = Pages();
    const std::string project = ReadBytes(Stage() + L"Torvane.hhp");
    const std::string contents = ReadBytes(Stage() + L"Torvane.hhc");
    const std::string index = ReadBytes(Stage() + L"Torvane.hhk");
    std::set<std::string> compiled, listed;
    for (const auto& f : All(project, R"((?:^|\n)(html/[^\r\n]+))")) compiled.insert(f);
    for (const auto& f : All(contents, R"(name="Local" value="([^"]*)\")")) listed.insert(f);
    const auto indexed = All(index, R"(name="Local" value="([^"]*)\")");
    ASSERT_FALSE(listed.empty());
    ASSERT_FALSE(indexed.empty());
    for (const auto& page : pages) {
        EXPECT_TRUE(compiled.count("html/" + page)) << page << " is not compiled into Torvane.chm";
        EXPECT_TRUE(listed.count("html/" + page)) << page << " is not in the contents";
    }
    for (const auto& set : {compiled, listed, std::set<std::string>(indexed.begin(), indexed.end())})
        for (const auto& f : set) {
            std::wstring path = Stage() + Wide(f);
            std::replace(path.begin(), path.end(), L'/', L'\\');
            EXPECT_TRUE(FileExists(path)) << f;
        }
    // The browser opens start.html where the viewer opens the default topic: the same page.
    EXPECT_EQ(All(project, R"(Default topic=([^\r\n]+))"), std::vector<std::string>{"html/start.html"});
    EXPECT_TRUE(compiled.count("html/start.html"));
}

TEST(HelpPages, EveryWindowAndExtrasPageNamesAPageOfTheHelp) {
    RegistrySandbox sandbox;
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    const auto pages = Pages();
    auto isPage = [&](const wchar_t* page) {
        return page && std::find(pages.begin(), pages.end(), std::string(page, page + wcslen(page))) != pages.end();
    };
    EXPECT_TRUE(isPage(frmMDI().HelpPage()));
    // The windows are made, not opened: what F1 opens is known without a window on screen.
    for (const WindowRow& row : clsWindowHandler::Rows()) {
        const std::unique_ptr<Form> form = row.create();
        if (auto* window = dynamic_cast<Dialog*>(form.get())) {
            EXPECT_TRUE(isPage(window->HelpPage())) << window->Name();
        }
    }
    const std::unique_ptr<ExtrasPage> extras[] = {std::make_unique<AutorunPage>(), std::make_unique<HistoryPage>(),
                                                  std::make_unique<FileTypesPage>(), std::make_unique<DefragPage>()};
    for (const auto& page : extras) EXPECT_TRUE(isPage(page->HelpPage())) << std::wstring(page->Caption());
}

// tests/support/Browser.h
#pragma once
#include <windows.h>
#include <optional>
#include <string>
#include <vector>

// Stands in for the desktop's web browser while it lives: Wine hands web pages to the programs its
// setting "Browsers" names, here stubs/browser.sh, which appends each address it is given to
// "browser.log" in the folder that holds the page's "html" folder (the program folder). The
// setting of the prefix is restored afterwards. Make it before a RegistrySandbox: it writes the
// real key.
class FakeBrowser {
public:
    explicit FakeBrowser(std::wstring installDir);
    ~FakeBrowser();
    FakeBrowser(const FakeBrowser&) = delete;
    FakeBrowser& operator=(const FakeBrowser&) = delete;
    // The addresses the browser was given, in order ("file:///…/html/start.html").
    std::vector<std::string> Pages() const;
    // Waits until it was given more than `count` addresses; returns the newest one ("" when none came).
    std::string WaitForPage(size_t count, DWORD timeoutMs = 60000) const;

private:
    std::wstring log_;
    std::optional<std::wstring> previous_;
};

// Copies the built help (Torvane.chm and its pages in html\) into a program folder, as the
// installer lays it out.
void InstallHelp(const std::wstring& folder);

// The Linux path of a file as Wine maps it ("" when it has none).
std::string UnixPath(const std::wstring& path);

// app/components/clsLibRegister.h
#pragma once
#include <string>
#include <vector>


// Set by CheckLibs when the internet library is missing: the program then runs without its
// internet functions, and the bug report is not offered.
extern bool WinInetMissing;

// One component the program needs: where its file lives, the keys below HKEY_LOCAL_MACHINE that
// show it is registered (first the main key, then the further ones), the error raised when the
// file is missing, and how it is registered again.
struct LibComponent {
    enum class Folder { Sys, Agent, Install };
    enum class Registration {
        None,          // nothing to register (plain library)
        Server,        // DllRegisterServer of the file
        AgentServer,   // assistant off, then the file with " /regserver"
        AgentControl,  // assistant off, then DllRegisterServer of the file
    };
    std::wstring file;
    Folder folder;
    std::vector<std::wstring> keys;
    int error;
    std::wstring text;  // follows "Die Datei " + file in the error description
    Registration registration;
};

// Key of a registered in-process class and of a registered type library (platform "win32" or "win64").
std::wstring ClsidKey(const std::wstring& clsid);
std::wstring TypeLibKey(const std::wstring& libid, const std::wstring& version,
                        const std::wstring& platform = L"win32");

// The wait window the caller shows while a component is registered again.
class RegistrationWait {
public:
    virtual ~RegistrationWait() = default;
    // Shows (or updates) the window with `message`.
    virtual void Show(const std::wstring& message) = 0;
    virtual void Close() = 0;
};

// Start-up check that the program's own components are present and registered.
class clsLibRegister {
public:

    // The components this program loads: help viewer, menu line control, internet library.
    static std::vector<LibComponent> Components();

    // Checks every component of the table in order: a missing file is reported, a missing key
    // makes the file register again.
    // `wait` is shown while a component registers (none without one).
    void CheckLibs(RegistrationWait* wait = nullptr);
    void CheckLibs(const std::vector<LibComponent>& components, RegistrationWait* wait = nullptr);
    // Calls DllRegisterServer (flag true) or DllUnregisterServer of a library and logs its result.
    void RegisterServer(const std::wstring& path, bool registerFlag);
    // Registers a component program by starting it with the given command line.
    void RegisterEXE(const std::wstring& commandLine);

private:
    void CheckComponent(const LibComponent& c);
    void ShowWait(const std::wstring& path);

    RegistrationWait* wait_ = nullptr;  // the caller's, during CheckLibs
    bool waitShown_ = false;
};

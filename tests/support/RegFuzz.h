// tests/support/RegFuzz.h
// Fuzzing the registry-file reader and the restore plan: damaged copies of registry files in the
// forms the program and the registry editor write (UTF-16 and ANSI), each read and planned, the
// plan checked for what must always hold, and what the reading held at its peak measured by the
// allocation meter. Shared by the backup tests and bench/fuzz_reg.
#pragma once
#include "backup/RegFileReader.h"
#include "backup/RestorePlan.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "support/AllocationMeter.h"
#include "support/Fuzz.h"
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

namespace reg_fuzz {
inline std::string Utf16File(const std::wstring& text) {
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// Every kind of line the files hold: notes, sections made and removed, each data type, values
// removed, continuation lines, escapes, comments. Keys lie below the tests' own key.
inline const std::wstring& SeedBody() {
    static const std::wstring body =
        L"; Rückgängig-Datei\r\n\r\n"
        L"; danach: Schlüssel entfernt\r\n"
        L"[HKEY_CURRENT_USER\\Software\\TorvaneTest\\Fuzz\\Baum]\r\n"
        L"@=\"Standard \\\"mit\\\" C:\\\\Pfad\"\r\n"
        L"\"Pfad\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,\\\r\n"
        L"  78,00,2e,00,64,00,6c,00,6c,00,00,00\r\n"
        L"\"Multi\"=hex(7):65,00,69,00,6e,00,73,00,00,00,7a,00,77,00,65,00,69,00,00,00,00,00\r\n"
        L"\"Dw\"=dword:8000002a\r\n"
        L"\"Qw\"=hex(b):88,77,66,55,44,33,22,11\r\n"
        L"\"Bin\"=hex:00,01,fe,ff\r\n"
        L"\"Zeilen\\r\\n]\"=\"a]b\"\r\n\r\n"
        L"[HKEY_CURRENT_USER\\Software\\TorvaneTest\\Fuzz\\Baum\\Unter]b]\r\n"
        L"\"None\"=hex(0):01\r\n\r\n"
        L"; danach: Wert gesetzt 0123456789abcdef\r\n"
        L"[HKEY_LOCAL_MACHINE\\Software\\TorvaneTest\\Fuzz\\Werte]\r\n"
        L"\"weg\"=-\r\n\"neu\"=\"x\" ;kommentar\r\n\r\n"
        L"; danach: Schlüssel angelegt\r\n"
        L"[-HKEY_CURRENT_USER\\Software\\TorvaneTest\\Fuzz\\Neu]\r\n\r\n"
        L"[HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\{7E000001-0000-0000-0000-000000000000}\\InprocServer32]\r\n"
        L"@=\"C:\\\\x.dll\"\r\n";
    return body;
}

// The seeds: the body in both headers, as UTF-16 and as ANSI.
inline std::vector<std::string> Seeds() {
    const std::wstring five = L"Windows Registry Editor Version 5.00\r\n\r\n" + SeedBody();
    const std::wstring four = L"REGEDIT4\r\n\r\n" + SeedBody();
    return {Utf16File(five), ToAnsi(four), Utf16File(four), ToAnsi(five)};
}

// Tokens that change what a line means, in both encodings.
inline const std::vector<std::string>& Dictionary(bool utf16) {
    static const auto make = [](bool wide) {
        std::vector<std::string> d;
        for (const wchar_t* t : {L"\\\r\n", L"hex(2):", L"hex(7):", L"hex:", L"dword:", L"=-", L"[-", L"]", L"\"",
                                 L"@=", L"\r", L"\n", L";", L"\\0", L",", L"\\", L"[HKEY_CURRENT_USER\\", L"[ ",
                                 L"REGEDIT4", L"; danach: "})
            d.push_back(wide ? std::string(reinterpret_cast<const char*>(t), wcslen(t) * 2) : ToAnsi(t));
        return d;
    };
    static const std::vector<std::string> wide = make(true), narrow = make(false);
    return utf16 ? wide : narrow;
}

inline std::string MakeInput(const std::string& seed, uint64_t number) {
    const bool utf16 = seed.size() >= 2 && static_cast<unsigned char>(seed[0]) == 0xFF;
    std::string in = Mutate(seed, number, Dictionary(utf16));
    // Most inputs keep their byte-order mark, so the damage reaches the lines behind it.
    if (utf16 && number % 8 && (in.size() < 2 || in.compare(0, 2, "\xFF\xFE") != 0)) in.insert(0, "\xFF\xFE");
    return in;
}
}  // namespace reg_fuzz

enum class RegOutcome { Read, Damaged, Refused, Failed };

struct RegRun {
    RegOutcome outcome = RegOutcome::Failed;
    size_t peak = 0;       // the most reading and planning held at once (allocation meter)
    size_t inputBytes = 0;
    size_t rows = 0;
    size_t lines = 0;      // line breaks in the file, at most (CR and LF bytes)
    std::wstring message;  // what went wrong
    // What reading and planning may hold at most: the file's text twice (in UTF-16), 256 bytes per
    // line (each row of the file and of the plan), and 4 MB.
    size_t Bound() const { return 4 * inputBytes + 256 * lines + (4u << 20); }
};

// Reads and plans one input. Whatever it holds, nothing may be thrown, and the plan must keep its
// promises: of a damaged file nothing is chosen, a refused row is never chosen, every row names a
// line of the file (the header's own, where a cut character follows it).
inline RegRun RunRegInput(const std::string& bytes) {
    RegRun run;
    run.inputBytes = bytes.size();
    run.lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n') + std::count(bytes.begin(), bytes.end(), '\r')) + 1;
    const size_t begin = allocation_meter::Begin();
    try {
        // (Read first: a copy handed to the reader goes before the plan is made, as when a file is read.)
        const RegFile file = ParseRegBytes(bytes);
        const RestorePlan plan = PlanRestore(file, L"fuzz.reg");
        run.rows = plan.rows.size();
        if (!plan.readable) {
            run.outcome = RegOutcome::Refused;
        } else {
            run.outcome = plan.damaged ? RegOutcome::Damaged : RegOutcome::Read;
            const std::vector<bool> chosen = DefaultChoice(plan);
            const size_t lines = run.lines;
            for (size_t i = 0; i < plan.rows.size() && run.outcome != RegOutcome::Failed; ++i) {
                const RestoreRow& r = plan.rows[i];
                if (chosen[i] && (plan.damaged || r.change == RestoreRow::Change::Refused)) {
                    run.outcome = RegOutcome::Failed;
                    run.message = L"Zeile " + std::to_wstring(r.line) + L" ist gewählt, obwohl sie nicht geschrieben werden darf";
                } else if (r.line < 1 || static_cast<size_t>(r.line) > lines) {
                    run.outcome = RegOutcome::Failed;
                    run.message = L"eine Zeile " + std::to_wstring(r.line) + L" gibt es nicht";
                } else if (r.change == RestoreRow::Change::Refused && r.refused.empty()) {
                    run.outcome = RegOutcome::Failed;
                    run.message = L"Zeile " + std::to_wstring(r.line) + L" ist ohne Grund abgelehnt";
                }
            }
            if (plan.damaged != (plan.damage.size() > 0)) {
                run.outcome = RegOutcome::Failed;
                run.message = L"beschädigt ohne Grund";
            }
        }
    } catch (const RuntimeError& e) {
        run.outcome = RegOutcome::Failed;
        run.message = e.description;
    } catch (const std::exception& e) {
        run.outcome = RegOutcome::Failed;
        run.message = FromUtf8(e.what());
    }
    run.peak = allocation_meter::PeakSince(begin);
    return run;
}

// app/backup/RegFileReader.cpp
#include "backup/RegFileReader.h"
#include "core/RuntimeError.h"
#include "core/UniqueHandle.h"
#include "core/Text.h"
#include "journal/UndoFile.h"
#include <cwctype>
#include <string_view>
#include <utility>

namespace {

const wchar_t kHeader5[] = L"Windows Registry Editor Version 5.00";
const wchar_t kHeader4[] = L"REGEDIT4";
constexpr size_t npos = std::wstring_view::npos;

// The lines of a text as the editor splits them: at CR LF, at a lone CR and at a lone LF. Views
// into the text, one at a time, so that a file of many short lines costs nothing per line.
class Lines {
public:
    explicit Lines(std::wstring_view text) : text_(text) {}
    bool Next(std::wstring_view& line) {
        if (done_) return false;
        ++number_;
        const size_t end = text_.find_first_of(L"\r\n", pos_);
        if (end == npos) {
            line = text_.substr(pos_);
            done_ = true;
            return true;
        }
        line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (text_[end] == L'\r' && pos_ < text_.size() && text_[pos_] == L'\n') ++pos_;
        return true;
    }
    int Number() const { return number_; }

private:
    std::wstring_view text_;
    size_t pos_ = 0;
    int number_ = 0;
    bool done_ = false;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

size_t SkipBlanks(std::wstring_view s, size_t p) {
    while (p < s.size() && IsBlank(s[p])) ++p;
    return p;
}

// Nothing but blanks from p, or a comment.
bool RestIsComment(std::wstring_view s, size_t p) {
    p = SkipBlanks(s, p);
    return p >= s.size() || s[p] == L';';
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// A number in base 16 as the C library's wcstoul reads it for the editor (32-bit unsigned long):
// blanks, a sign, "0x", digits. `end` stays at `p` when there is no number.
unsigned long ReadULong16(std::wstring_view s, size_t p, size_t& end, bool& overflow) {
    end = p;
    overflow = false;
    size_t q = p;
    while (q < s.size() && (IsBlank(s[q]) || s[q] == L'\v' || s[q] == L'\f')) ++q;
    bool negative = false;
    if (q < s.size() && (s[q] == L'+' || s[q] == L'-')) negative = s[q++] == L'-';
    if (q + 2 < s.size() && s[q] == L'0' && (s[q + 1] == L'x' || s[q + 1] == L'X') && HexDigit(s[q + 2]) >= 0) q += 2;
    unsigned long long value = 0;
    size_t digits = 0;
    for (; q < s.size() && HexDigit(s[q]) >= 0; ++q, ++digits) {
        value = value * 16 + static_cast<unsigned>(HexDigit(s[q]));
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
    }
    if (digits == 0) return 0;
    end = q;
    if (overflow) return 0xFFFFFFFFul;
    return static_cast<unsigned long>(negative ? (0x100000000ull - value) & 0xFFFFFFFFull : value);
}

// A quoted text from just after its opening quote, each character handed to `put`; `after` is the
// position after the closing quote. Escapes as the editor reads them: \\ \" \n \r, any other
// escaped character stands for itself, "\0" and a "\" at the end of the line are refused.
enum class Quoted { Ok, Open, Nul };
template <class Put>
Quoted ReadQuoted(std::wstring_view s, size_t p, Put&& put, size_t& after) {
    for (; p < s.size(); ++p) {
        wchar_t c = s[p];
        if (c == L'"') {
            after = p + 1;
            return Quoted::Ok;
        }
        if (c == L'\\') {
            if (++p >= s.size()) return Quoted::Open;
            c = s[p];
            if (c == L'0') return Quoted::Nul;
            if (c == L'n') c = L'\n';
            else if (c == L'r') c = L'\r';
        }
        put(c);
    }
    return Quoted::Open;
}

// One line of a hex list from p, appended to `out`, as the editor converts it: bytes of one or
// two digits (blanks, a sign or "0x" before them as wcstoul takes them) separated by commas, a
// trailing comma allowed, and at the end a comment or the continuation mark "\". `more` says
// whether the mark was there and `rest` where the line goes on after it. False: not a hex list.
bool ReadHexLine(std::wstring_view s, size_t p, std::string& out, bool& more, size_t& rest) {
    more = false;
    while (p < s.size()) {
        size_t end;
        bool overflow;
        const unsigned long byte = ReadULong16(s, p, end, overflow);
        if (byte > 0xFF) return false;
        if (end == p) {  // no number here
            end = SkipBlanks(s, end);
            if (end < s.size() && s[end] == L'\\') {
                more = true;
                rest = end + 1;
                return true;
            }
            return end < s.size() && s[end] == L';';
        }
        out += static_cast<char>(byte);
        if (end < s.size() && s[end] != L',') return RestIsComment(s, end);
        p = end < s.size() ? end + 1 : end;
    }
    return true;
}

std::string Utf16Bytes(std::wstring_view s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}

bool StartsWithText(std::wstring_view s, std::wstring_view word) { return s.substr(0, word.size()) == word; }

// Where values go: the section the last key line opened.
enum class Section {
    None,     // no key line yet, or after a removal: the editor has no key open
    Open,     // values go into `keys[current]`
    Refused,  // the editor has no key open, or another one than the file shows: values are rejected
};

class Parser {
public:
    Parser(std::wstring_view text, bool unicodeFile) : lines_(text), unicodeFile_(unicodeFile) {}

    RegFile& File() { return file_; }
    bool Aborted() const { return aborted_; }

    void Run() {
        std::wstring_view s;
        lines_.Next(s);
        if (!Header(s)) return;
        std::wstring note;
        while (!aborted_ && lines_.Next(s)) {
            const int number = lines_.Number();
            const size_t p = SkipBlanks(s, 0);
            if (p >= s.size()) continue;
            if (s.find(L'\0') != npos) {
                // The editor ends such a line at the NUL and reads on as if the rest were a line of its own.
                Damage(number, L"enthält ein NUL-Zeichen");
                if (s[p] == L'[') Refuse(L"folgt auf Zeile " + std::to_wstring(number) + L" mit einem NUL-Zeichen");
                continue;
            }
            if (s[p] == L';' && StartsWithText(s.substr(p), kUndoNote)) {
                note = Trim(std::wstring(s.substr(p + wcslen(kUndoNote))));
                continue;
            }
            if (s[p] == L';' || s[p] == L'#') continue;
            if (s[p] == L'[') {
                KeyLine(s, p, number, note);
                continue;
            }
            if (s[p] == L'@' || s[p] == L'"') {
                ValueLine(s, p, number);
                continue;
            }
            Damage(number, L"ist weder ein Schlüssel noch ein Wert noch ein Kommentar");
        }
    }

    // The file lost its end: the row on its last line is rejected (or the line, where it holds no value).
    void MarkCutOff(const std::wstring& why) {
        const int last = lines_.Number();
        if (lastValueEnd_ == last) {
            RegFileValue& v = file_.keys[lastValue_.first].values[lastValue_.second];
            if (v.rejected.empty()) Count(file_, v.rejected = At(last, why));
            return;
        }
        Damage(last, why);
    }

private:
    static void Count(RegFile& file, const std::wstring& reason) {
        if (file.badLines++ == 0) file.damage = reason;
    }

    bool Header(std::wstring_view s) {
        const std::wstring_view h = s.substr(SkipBlanks(s, 0));
        if (h == kHeader5) {
            file_.unicodeSyntax = true;
        } else if (h == kHeader4) {
        } else if (h == L"REGEDIT") {
            file_.problem = L"Zeile 1: eine Registrierungsdatei im Format von Windows 3.1 (\"REGEDIT\"), das Torvane nicht liest";
            return false;
        } else if (StartsWithText(h, L"REGEDIT")) {
            file_.problem = L"Zeile 1: mit der Kopfzeile \"" + std::wstring(h.substr(0, 80)) +
                            L"\" schreibt der Registrierungs-Editor nichts aus der Datei";
            return false;
        } else {
            file_.problem = L"Zeile 1: keine Registrierungsdatei (die erste Zeile ist weder \"" + std::wstring(kHeader5) +
                            L"\" noch \"" + kHeader4 + L"\")";
            return false;
        }
        file_.valid = true;
        return true;
    }

    static std::wstring At(int line, const std::wstring& why) { return L"Zeile " + std::to_wstring(line) + L": " + why; }

    // A line that is no row of its own: shown as a rejected line.
    void Damage(int line, const std::wstring& why) {
        RegFileKey k;
        k.line = line;
        Count(file_, k.rejected = At(line, why));
        file_.keys.push_back(std::move(k));
    }

    // From now on the editor writes values elsewhere than the file shows, or nowhere.
    void Refuse(std::wstring why) {
        section_ = Section::Refused;
        sectionWhy_ = std::move(why);
    }

    void KeyLine(std::wstring_view s, size_t p, int number, const std::wstring& note) {
        const size_t from = p + 1;
        const size_t close = s.rfind(L']');
        if (from < s.size() && IsBlank(s[from])) {
            Damage(number, L"nach \"[\" steht ein Leerzeichen; der Registrierungs-Editor liest hier keinen Schlüssel");
            Refuse(L"folgt auf Zeile " + std::to_wstring(number) +
                   L", die der Registrierungs-Editor nicht als Schlüssel liest (er schriebe den Wert in den Schlüssel davor)");
            return;
        }
        if (close == npos || close < from) {
            Damage(number, L"der Schlüsselname endet ohne \"]\"");
            Refuse(L"folgt auf Zeile " + std::to_wstring(number) +
                   L", die der Registrierungs-Editor nicht als Schlüssel liest (er schriebe den Wert in den Schlüssel davor)");
            return;
        }
        std::wstring name(s.substr(from, close - from));
        RegFileKey key;
        key.line = number;
        key.note = note;
        if (!name.empty() && name[0] == L'-') {
            key.remove = true;
            name.erase(0, 1);
            section_ = Section::None;
            if (name.empty() || (name[0] != L'H' && name[0] != L'h')) {
                Damage(number, L"nach \"[-\" folgt kein Schlüsselname; der Registrierungs-Editor entfernt hier nichts");
                return;
            }
        }
        const size_t cut = name.find(L'\\');
        key.root = RootFromName(name.substr(0, cut));
        if (cut != npos) key.path = name.substr(cut + 1);
        while (!key.path.empty() && key.path.back() == L'\\') key.path.pop_back();
        if (key.remove && (key.root == 0 || key.path.empty())) {
            // The editor stops the whole import here.
            const std::wstring rootName = name.substr(0, cut);
            key.rejected = At(number, (key.root == 0 ? L"unbekannter Hauptschlüssel \"" + rootName + L"\""
                                                     : std::wstring(L"ein ganzer Hauptschlüssel wird nicht entfernt")) +
                                          L"; der Registrierungs-Editor bricht hier ab und liest den Rest der Datei nicht");
            key.root = 0;
            key.path = name;
            Count(file_, key.rejected);
            file_.keys.push_back(std::move(key));
            aborted_ = true;
            return;
        }
        if (key.root == 0) {
            key.path = name;
            Count(file_, key.rejected = At(number, L"unbekannter Hauptschlüssel \"" + name.substr(0, cut) + L"\""));
            file_.keys.push_back(std::move(key));
            Refuse(L"steht unter einem Schlüssel, den der Registrierungs-Editor nicht öffnet (Zeile " +
                   std::to_wstring(number) + L")");
            return;
        }
        file_.keys.push_back(std::move(key));
        if (!file_.keys.back().remove) {
            section_ = Section::Open;
            current_ = file_.keys.size() - 1;
        }
    }

    void ValueLine(std::wstring_view s, size_t p, int number) {
        RegFileValue v;
        v.line = number;
        // Where the value stands is decided by the lines before it (reading it may change that for
        // the lines after it).
        const Section section = section_;
        const std::wstring sectionWhy = sectionWhy_;
        std::wstring why = ReadValue(s, p, v);
        if (why.empty() && section != Section::Open)
            why = At(number, section == Section::None ? L"der Wert steht unter keinem Schlüssel" : sectionWhy);
        lastValueEnd_ = lines_.Number();
        RegFileKey* holder;
        if (section == Section::Open) {
            holder = &file_.keys[current_];
        } else if (section == Section::Refused && !file_.keys.empty() && !file_.keys.back().rejected.empty()) {
            holder = &file_.keys.back();
        } else {
            if (file_.keys.empty() || file_.keys.back().root != 0 || !file_.keys.back().rejected.empty())
                file_.keys.emplace_back().line = number;
            holder = &file_.keys.back();
        }
        if (!why.empty()) Count(file_, v.rejected = std::move(why));
        holder->values.push_back(std::move(v));
        lastValue_ = {static_cast<size_t>(holder - file_.keys.data()), holder->values.size() - 1};
    }

    // Reads one value from its first line on (and the lines it continues on); "" when the editor
    // writes it, else "Zeile N: ..." with the line that fails.
    std::wstring ReadValue(std::wstring_view s, size_t p, RegFileValue& v) {
        const int first = lines_.Number();
        if (s[p] == L'@') {
            ++p;
        } else {
            size_t after = 0;
            const Quoted q = ReadQuoted(s, p + 1, [&v](wchar_t c) { v.name += c; }, after);
            if (q == Quoted::Nul) return At(first, L"der Wertname enthält \"\\0\"");
            if (q == Quoted::Open) return At(first, L"der Wertname endet ohne Anführungszeichen");
            p = after;
        }
        p = SkipBlanks(s, p);
        if (p >= s.size() || s[p] != L'=') return At(first, L"nach dem Wertnamen fehlt \"=\"");
        p = SkipBlanks(s, p + 1);
        // The data without the blanks at its end.
        size_t end = s.size();
        while (end > p && IsBlank(s[end - 1])) --end;
        const std::wstring_view data = s.substr(p, end - p);

        if (StartsWithText(data, L"-")) {
            if (!RestIsComment(data, 1)) return At(first, L"nach dem Minuszeichen steht noch etwas");
            v.remove = true;
            return L"";
        }
        if (StartsWithText(data, L"\"")) {
            // Straight into the value's bytes: a long text is held once, not twice.
            v.bytes.reserve(data.size() * sizeof(wchar_t));
            size_t after = 0;
            const Quoted q = ReadQuoted(data, 1, [&v](wchar_t c) { v.bytes.append(reinterpret_cast<const char*>(&c), sizeof c); },
                                        after);
            if (q == Quoted::Nul) return At(first, L"der Text enthält \"\\0\"");
            if (q == Quoted::Open) return At(first, L"der Text endet ohne Anführungszeichen");
            if (!RestIsComment(data, after))
                return At(first, L"nach dem schließenden Anführungszeichen steht noch etwas, das kein Kommentar ist");
            v.type = REG_SZ;
            v.bytes.append(2, '\0');
            return L"";
        }
        if (StartsWithText(data, L"dword:")) {
            const std::wstring_view d = data.substr(6);
            const size_t from = SkipBlanks(d, 0);
            size_t to = from;
            while (to < d.size() && HexDigit(d[to]) >= 0) ++to;
            if (from >= d.size() || to - from > 8 || !RestIsComment(d, to))
                return At(first, L"nach dword: steht keine Zahl aus höchstens 8 Hexadezimalziffern");
            DWORD value = 0;
            for (size_t i = from; i < to; ++i) value = value * 16 + static_cast<DWORD>(HexDigit(d[i]));
            v.type = REG_DWORD;
            v.bytes.assign(reinterpret_cast<const char*>(&value), 4);
            return L"";
        }
        size_t q;
        if (StartsWithText(data, L"hex:")) {
            v.type = REG_BINARY;
            q = 4;
        } else if (StartsWithText(data, L"hex(")) {
            const std::wstring_view t = data.substr(4);
            size_t close;
            bool overflow;
            const unsigned long type = ReadULong16(t, 0, close, overflow);
            if (t.empty() || (t.size() > 1 && std::towlower(t[1]) == L'x') || close + 1 >= t.size() ||
                t[close] != L')' || t[close + 1] != L':' || (type == 0xFFFFFFFFul && overflow))
                return At(first, L"unlesbarer Datentyp in hex(...)");
            v.type = static_cast<DWORD>(type);
            q = 4 + close + 2;
        } else {
            return At(first, L"unbekannte Art von Daten");
        }
        return ReadHex(data, q, v, first);
    }

    std::wstring ReadHex(std::wstring_view s, size_t p, RegFileValue& v, int first) {
        // "hex(2):" with nothing after it is a value without data, as it stands.
        if (p >= s.size()) return L"";
        for (;;) {
            bool more = false;
            size_t rest = 0;
            if (!ReadHexLine(s, p, v.bytes, more, rest)) return At(lines_.Number(), L"kein Hexadezimalwert");
            if (!more) break;
            if (!RestIsComment(s, rest))
                return At(lines_.Number(), L"nach dem Fortsetzungszeichen \\ steht noch etwas, das kein Kommentar ist");
            // The value goes on in the next line that is neither empty nor a comment. (The editor
            // writes what it has when the file ends here; the file lost its end, so nothing is written.)
            const int mark = lines_.Number();
            for (;;) {
                if (!lines_.Next(s)) return At(mark, L"die Datei endet mitten im Wert (sie ist abgeschnitten)");
                p = SkipBlanks(s, 0);
                if (p < s.size() && s[p] != L';') break;
            }
            if (s.find(L'\0') != npos) return At(lines_.Number(), L"enthält ein NUL-Zeichen");
            if (HexDigit(s[p]) < 0) {
                // The editor takes this line as the end of the broken value and reads nothing of it.
                const int line = lines_.Number();
                if (s[p] == L'[')
                    Refuse(L"folgt auf Zeile " + std::to_wstring(line) +
                           L", die der Registrierungs-Editor als Fortsetzung eines Werts verwirft (er schriebe den "
                           L"Wert in den Schlüssel davor)");
                return At(line, L"setzt den Wert aus Zeile " + std::to_wstring(first) +
                                    L" nicht fort; der Registrierungs-Editor verwirft beide Zeilen");
            }
        }
        // Text types: the editor ends the text with a zero where the file does not.
        if (v.type != REG_SZ && v.type != REG_EXPAND_SZ && v.type != REG_MULTI_SZ) return L"";
        if (unicodeFile_) {
            if (v.bytes.empty() || v.bytes.size() % 2)
                return At(lines_.Number(), L"ein Text aus einer ungeraden Zahl von Bytes, den der Registrierungs-Editor "
                                           L"nicht eindeutig liest");
            if (v.bytes[v.bytes.size() - 1] != 0 || v.bytes[v.bytes.size() - 2] != 0) v.bytes.append(2, '\0');
        } else {
            if (v.bytes.empty())
                return At(lines_.Number(), L"ein leerer Text, den der Registrierungs-Editor nicht eindeutig liest");
            if (v.bytes.back() != 0) v.bytes += '\0';
            v.bytes = Utf16Bytes(FromAnsi(v.bytes));
        }
        return L"";
    }

    Lines lines_;
    bool unicodeFile_;
    RegFile file_;
    Section section_ = Section::None;
    std::wstring sectionWhy_;
    size_t current_ = 0;
    bool aborted_ = false;
    int lastValueEnd_ = 0;
    std::pair<size_t, size_t> lastValue_;  // section and index of the last value read
};

RegFile Parse(std::wstring_view text, bool unicodeFile, bool cutCharacter) {
    Parser parser(text, unicodeFile);
    parser.Run();
    RegFile& file = parser.File();
    if (!file.Readable() || parser.Aborted()) return std::move(file);
    if (cutCharacter) {
        parser.MarkCutOff(L"die Datei endet mitten in einem Zeichen (sie ist abgeschnitten)");
        return std::move(file);
    }
    // A last line that reads well may still have lost its end: the program writes every number
    // of a dword with eight digits and never ends a line of bytes with a comma.
    if (text.empty() || text.back() == L'\n' || text.back() == L'\r') return std::move(file);
    const size_t start = text.find_last_of(L"\r\n");
    const std::wstring lastLine = Trim(std::wstring(text.substr(start == npos ? 0 : start + 1)));
    const size_t dword = lastLine.rfind(L"=dword:");
    if ((!lastLine.empty() && lastLine.back() == L',') || (dword != std::wstring::npos && lastLine.size() - dword - 7 < 8))
        parser.MarkCutOff(L"die Datei endet mitten in dieser Zeile (sie ist abgeschnitten)");
    return std::move(file);
}

}  // namespace

RootKey RootFromName(const std::wstring& name) {
    // The roots the editor knows, in any letter case.
    static const struct {
        const wchar_t* name;
        RootKey root;
    } roots[] = {{L"HKEY_CLASSES_ROOT", kHKCR}, {L"HKEY_CURRENT_USER", kHKCU}, {L"HKEY_LOCAL_MACHINE", kHKLM},
                 {L"HKEY_USERS", kHKU},         {L"HKEY_CURRENT_CONFIG", kHKCC}, {L"HKEY_DYN_DATA", kHKDD}};
    std::wstring upper = name;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    for (const auto& r : roots)
        if (upper == r.name) return r.root;
    return 0;
}

RegFile ParseRegText(const std::wstring& text, bool unicodeFile) { return Parse(text, unicodeFile, false); }

RegFile ParseRegBytes(std::string bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        // Two bytes make a character: half of one means the end of the file is missing. The text
        // is read where it lies, without a copy.
        const bool cut = bytes.size() % 2 != 0;
        const std::wstring_view text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return Parse(text, true, cut);
    }
    std::wstring text = FromAnsi(bytes);
    std::string().swap(bytes);
    return Parse(text, false, false);
}

RegFile ReadRegFile(const std::wstring& path) {
    UniqueHFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseWin32(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) RaiseWin32(GetLastError());
    if (static_cast<unsigned long long>(size.QuadPart) > kMaxRegFileBytes)
        Raise(Err::PathFileAccess, L"die Datei ist größer als " + std::to_wstring(kMaxRegFileBytes >> 20) +
                                       L" MB; so große Registrierungsdateien liest Torvane nicht");
    std::string bytes;
    bytes.reserve(static_cast<size_t>(size.QuadPart));
    char buf[65536];
    DWORD n = 0;
    BOOL ok;
    // Never more than the size it had when opened, should it grow meanwhile.
    while ((ok = ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) && n && bytes.size() < kMaxRegFileBytes)
        bytes.append(buf, n);
    const DWORD error = GetLastError();
    file.reset();
    if (!ok) RaiseWin32(error);
    return ParseRegBytes(std::move(bytes));
}

// app/core/win/PathCells.cpp
#include "core/win/PathCells.h"
#include "core/win/ListView.h"
#include <algorithm>

namespace {
constexpr wchar_t kEllipsis[] = L"\u2026";

// "HKEY_LOCAL_MACHINE\..." -> "HKLM\..." (also after a "[" or "[-" that opens it).
std::wstring ShortRoot(std::wstring_view path) {
    static const struct {
        std::wstring_view longName, shortName;
    } roots[] = {{L"HKEY_LOCAL_MACHINE", L"HKLM"}, {L"HKEY_CURRENT_USER", L"HKCU"}, {L"HKEY_CLASSES_ROOT", L"HKCR"},
                 {L"HKEY_USERS", L"HKU"},          {L"HKEY_CURRENT_CONFIG", L"HKCC"}};
    const size_t at = path.starts_with(L"[-") ? 2 : path.starts_with(L"[") ? 1 : 0;
    for (const auto& r : roots) {
        const std::wstring_view rest = path.substr(at);
        if (rest.size() >= r.longName.size() && CompareStringOrdinal(rest.data(), static_cast<int>(r.longName.size()),
                                                                     r.longName.data(), static_cast<int>(r.longName.size()),
                                                                     TRUE) == CSTR_EQUAL &&
            (rest.size() == r.longName.size() || rest[r.longName.size()] == L'\\' || rest[r.longName.size()] == L']'))
            return std::wstring(path.substr(0, at)) + std::wstring(r.shortName) + std::wstring(rest.substr(r.longName.size()));
    }
    return std::wstring(path);
}

// "{7E000001-0000-0000-0000-000000000000}" -> "{7E000001-…}" (also with the "]" that closes a
// section after it); other parts as they are.
std::wstring ShortPart(const std::wstring& part) {
    const bool closed = part.size() == 39 && part.back() == L']';
    const std::wstring guid = closed ? part.substr(0, 38) : part;
    if (guid.size() == 38 && guid.front() == L'{' && guid.back() == L'}' && guid[9] == L'-')
        return guid.substr(0, 10) + kEllipsis + L"}" + (closed ? L"]" : L"");
    return part;
}

std::vector<std::wstring> Split(const std::wstring& s) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t p; (p = s.find(L'\\', start)) != std::wstring::npos; start = p + 1) parts.push_back(s.substr(start, p - start));
    parts.push_back(s.substr(start));
    return parts;
}
}  // namespace

std::wstring FitPath(std::wstring_view path, int width, const std::function<int(std::wstring_view)>& measure) {
    if (measure(path) <= width) return std::wstring(path);
    const std::wstring shortRoot = ShortRoot(path);
    if (measure(shortRoot) <= width) return shortRoot;
    const std::vector<std::wstring> parts = Split(shortRoot);
    const size_t n = parts.size();
    // The first part and the last k, the middle as "…": as many of the last as fit.
    auto keep = [&](size_t k, bool shortParts, bool withFirst, bool shortLast = false) {
        std::wstring s = withFirst ? parts[0] + L"\\" + kEllipsis : std::wstring(kEllipsis);
        for (size_t i = n - k; i < n; ++i)
            s += L"\\" + ((shortParts && i + 1 < n) || (shortLast && i + 1 == n) ? ShortPart(parts[i]) : parts[i]);
        return s;
    };
    // From most to least context: more of the end with the first part; the last two with long
    // names shortened, with and then without the first part; the last one.
    for (size_t k = n >= 2 ? n - 2 : 0; k >= 2; --k)
        if (const std::wstring t = keep(k, false, true); measure(t) <= width) return t;
    if (n >= 4)
        if (const std::wstring t = keep(2, true, true); measure(t) <= width) return t;
    if (n >= 3)
        if (const std::wstring t = keep(2, true, false); measure(t) <= width) return t;
    if (n >= 3)
        if (const std::wstring t = keep(1, false, true); measure(t) <= width) return t;
    if (n >= 2)
        if (const std::wstring t = keep(1, false, false); measure(t) <= width) return t;
    // A last part that is a class's number: its beginning names it.
    if (n >= 3)
        if (const std::wstring t = keep(1, false, true, true); measure(t) <= width) return t;
    if (n >= 2)
        if (const std::wstring t = keep(1, false, false, true); measure(t) <= width) return t;
    // Not even the last part fits: its end, as much as there is room for.
    const std::wstring& last = parts.back();
    for (size_t drop = 1; drop < last.size(); ++drop) {
        const std::wstring s = kEllipsis + last.substr(drop);
        if (measure(s) <= width) return s;
    }
    return kEllipsis;
}

LRESULT PathCells::Draw(NMLVCUSTOMDRAW* draw, LRESULT ownResult, COLORREF textColour) const {
    if (!list_ || draw->nmcd.hdr.hwndFrom != list_ || ownResult & CDRF_SKIPDEFAULT) return ownResult;
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return ownResult | CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: return ownResult | CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT: break;
    default: return ownResult;
    }
    const int row = static_cast<int>(draw->nmcd.dwItemSpec);
    const HDC dc = draw->nmcd.hdc;
    const bool selected = ListView_GetItemState(list_, row, LVIS_SELECTED) != 0;
    const bool focused = GetFocus() == list_;
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list_, WM_GETFONT, 0, 0)));
    for (int column : columns_) {
        const std::wstring whole = ListView(list_).Cell(row, column);
        RECT cell{};
        if (whole.empty() || !ListView_GetSubItemRect(list_, row, column, LVIR_LABEL, &cell)) continue;
        // The list leaves a margin before the text (more in the columns after the first).
        RECT text = cell;
        text.left += column == 0 ? 2 : 6;
        text.right -= column == 0 ? 2 : 6;
        if (text.right <= text.left) continue;
        auto measure = [dc](std::wstring_view s) {
            SIZE size{};
            GetTextExtentPoint32W(dc, s.data(), static_cast<int>(s.size()), &size);
            return static_cast<int>(size.cx);
        };
        if (measure(whole) <= text.right - text.left) continue;  // the list showed it whole
        const std::wstring fitted = FitPath(whole, text.right - text.left, measure);
        // Over what the list drew, in the colours it drew with.
        const COLORREF back = GetPixel(dc, cell.left + 1, cell.top + 1);
        if (back != CLR_INVALID) {
            HBRUSH brush = CreateSolidBrush(back);
            FillRect(dc, &cell, brush);
            DeleteObject(brush);
        }
        const COLORREF fore = selected && focused ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                              : textColour != CLR_DEFAULT ? textColour
                                                          : ListView_GetTextColor(list_);
        SetTextColor(dc, fore);
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, fitted.c_str(), static_cast<int>(fitted.size()), &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    }
    SelectObject(dc, oldFont);
    return ownResult;
}

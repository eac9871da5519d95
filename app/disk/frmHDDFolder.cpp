// app/disk/frmHDDFolder.cpp
#include "disk/frmHDDFolder.h"
#include "core/Service.h"
#include "core/Text.h"
#include "disk/frmHDD.rh"
#include "files/clsFiles.h"

std::wstring frmHDDFolder::Ask(HWND owner) {
    path_.clear();
    return DoModal(owner, IDD_frmHDDFolder) == IDOK ? path_ : L"";
}

std::wstring frmHDDFolder::ListPath(const std::wstring& typed) {
    std::wstring path = Trim(typed);
    // Quotes pasted from a command line are no part of the name.
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = Trim(path.substr(1, path.size() - 2));
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    return path;
}

bool frmHDDFolder::OnInit() {
    SendMessageW(Item(IDC_txtFolder), EM_LIMITTEXT, 32767, 0);
    SetFocus(Item(IDC_txtFolder));
    return false;
}

void frmHDDFolder::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_cmdDurchsuchen: {
        const std::wstring chosen = Service<clsFiles>().SelFolder();
        if (!chosen.empty()) Item(IDC_txtFolder).SetText(chosen);
        break;
    }
    case IDOK:
        path_ = ListPath(Item(IDC_txtFolder).Text());
        EndDialog(hwnd(), path_.empty() ? IDCANCEL : IDOK);
        break;
    case IDCANCEL: EndDialog(hwnd(), IDCANCEL); break;
    default: break;
    }
}

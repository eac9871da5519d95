// app/backup/frmRestorePreview.cpp
#include "backup/frmRestorePreview.h"
#include "backup/frmRestorePreview.rh"
#include "core/AppEnvironment.h"
#include "core/RuntimeError.h"
#include "core/Trap.h"
#include "core/win/ListView.h"
#include <algorithm>

namespace {
const wchar_t kModule[] = L"frmRestorePreview";

enum Column { colKey, colValue, colChange, colNow, colAfter, colConflict };
const wchar_t* const kTitles[] = {L"Schlüssel", L"Wert", L"Änderung", L"Jetzt", L"Danach", L"Konflikt"};

const wchar_t kInfo[] =
    L"Die Liste zeigt jeden Schlüssel und Wert der Datei: was das Zurückschreiben in der Registry ändert, "
    L"was dort jetzt steht und was danach. Geschrieben werden nur die angehakten Zeilen; was sie überschreiben, "
    L"wird vorher in einer neuen Sicherungsdatei gesichert. Rote Zeilen sind Konflikte: Dort hat sich die "
    L"Registry geändert, seit die Datei geschrieben wurde. Sie sind nicht ausgewählt. Graue Zeilen sind bereits so.";

std::wstring Counted(size_t n, const wchar_t* one, const wchar_t* many) {
    return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

bool Changes(const RestoreRow& row) { return row.Changes(); }

int StateImage(UINT state) { return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12); }

constexpr Anchor kLayout[] = {
    {IDC_lblRestoreInfo, kSizeX},    {IDC_lvwRestore, kSizeX | kSizeY},
    {IDC_lblRestoreSummary, kMoveY | kSizeX}, {IDOK, kMoveX | kMoveY},
    {IDC_cmdAlleZurueck, kMoveX | kMoveY},    {IDCANCEL, kMoveX | kMoveY},
};
}  // namespace

std::wstring frmRestorePreview::SummaryText(const RestorePlan& plan, const std::vector<bool>& chosen) {
    if (plan.rows.empty()) return L"Die Datei enthält keine Schlüssel und Werte.";
    size_t changing = 0, conflicts = 0, picked = 0, refused = 0;
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        const RestoreRow& row = plan.rows[i];
        if (row.change == RestoreRow::Change::Refused) ++refused;
        if (!Changes(row)) continue;
        ++changing;
        if (row.conflict) ++conflicts;
        if (i < chosen.size() && chosen[i]) ++picked;
    }
    const size_t same = plan.rows.size() - changing - refused;
    std::wstring text = Counted(plan.rows.size(), L"Zeile", L"Zeilen") + L": " + std::to_wstring(changing) +
                        (changing == 1 ? L" ändert" : L" ändern") + L" etwas (" +
                        (conflicts == 0 ? std::wstring(L"kein Konflikt") : Counted(conflicts, L"Konflikt", L"Konflikte")) +
                        L"), " + std::to_wstring(same) + (same == 1 ? L" ist" : L" sind") + L" bereits so";
    text += refused == 0 ? std::wstring(L". ")
                         : L", " + std::to_wstring(refused) + (refused == 1 ? L" kann" : L" können") + L" nicht geschrieben werden. ";
    if (plan.damaged) text += L"Die Datei ist beschädigt: nichts ist vorgewählt. ";
    return text + L"Zum Zurückschreiben ausgewählt: " + std::to_wstring(picked) + L".";
}

std::wstring frmRestorePreview::OverwriteQuestion(size_t conflicts) {
    const std::wstring why = L"Dort hat sich die Registry geändert, seit die Datei geschrieben wurde.\r\r";
    if (conflicts == 1)
        return L"1 Zeile ist ein Konflikt: " + why + L"Soll diese Zeile trotzdem mit dem Inhalt der Datei überschrieben werden?";
    const std::wstring n = std::to_wstring(conflicts);
    return n + L" Zeilen sind Konflikte: " + why + L"Sollen diese " + n +
           L" Zeilen trotzdem mit dem Inhalt der Datei überschrieben werden?";
}

frmRestorePreview::Answer frmRestorePreview::Ask(HWND owner, const RestorePlan& plan, const std::wstring& fileName,
                                                 std::vector<bool>& chosen) {
    plan_ = &plan;
    fileName_ = fileName;
    chosen_ = DefaultChoice(plan);
    chosen_.resize(plan.rows.size(), false);
    const INT_PTR r = DoModal(owner, IDD_frmRestorePreview);
    plan_ = nullptr;
    if (r == -1) RaiseWin32(GetLastError());
    if (r != IDOK && r != IDC_cmdAlleZurueck) return Answer::Cancel;
    chosen = chosen_;
    return r == IDOK ? Answer::Chosen : Answer::All;
}

bool frmRestorePreview::OnInit() {
    SetText(L"Zurückschreiben: " + fileName_);
    Item(IDC_lblRestoreInfo).SetText(kInfo);
    lvw_ = Item(IDC_lvwRestore);
    UsePathCells(lvw_, {0, 3, 4});  // the key, the data now and after
    ListView list(lvw_);
    ListView_SetExtendedListViewStyle(lvw_, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_LABELTIP |
                                                LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
    for (const wchar_t* title : kTitles) list.AddColumn(title, 60);
    filling_ = true;
    const bool filled = Trap(kModule, L"Form_Load", [&] {
        for (size_t i = 0; i < plan_->rows.size(); ++i) {
            const RestoreRow& row = plan_->rows[i];
            const int at = list.AddRow({row.KeyText(), row.ValueText(), row.ChangeText(), row.now.value_or(L""),
                                        row.after.value_or(L""), row.Reason()},
                                       static_cast<LPARAM>(i));
            ListView_SetCheckState(lvw_, at, chosen_[i] ? TRUE : FALSE);
        }
    }, Style::Warning, true);
    filling_ = false;
    // A list that lacks rows of the file is no ground to choose from.
    if (!filled) {
        EndDialog(hwnd(), IDCANCEL);
        return true;
    }

    MeasureColumns();
    FitColumns();

    if (list.Count() > 0) ListView_SetItemState(lvw_, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ShowSummary();

    // The designed size is the smallest the preview takes.
    UseLayout({kLayout, true});
    SetFocus(lvw_);
    return false;
}

void frmRestorePreview::MeasureColumns() {
    ListView list(lvw_);
    const int pad = 14, checkBox = GetSystemMetrics(SM_CXSMICON) + 8;
    natural_.assign(colConflict + 1, 0);
    for (int c = colKey; c <= colConflict; ++c) natural_[c] = ListView_GetStringWidth(lvw_, kTitles[c]) + pad;
    for (int i = 0; i < list.Count(); ++i)
        for (int c = colKey; c <= colConflict; ++c) {
            const std::wstring text = list.Cell(i, c);
            natural_[c] = std::max(natural_[c], ListView_GetStringWidth(lvw_, text.c_str()) + pad + (c == colKey ? checkBox : 0));
        }
}

void frmRestorePreview::FitColumns() {
    // Each column as wide as its widest text. Where the list is too narrow for that, the wide
    // columns share what is left, the key three times as much as the others, so every column
    // stays in sight; a row's full texts show when the mouse rests on it.
    if (natural_.size() != colConflict + 1) return;
    fittedTo_ = Wnd(lvw_).Client().right;
    const int width = std::max<int>(300, fittedTo_ - GetSystemMetrics(SM_CXVSCROLL));
    const std::vector<int>& natural = natural_;
    const int weight[] = {3, 1, 1, 1, 1, 1};
    int total = 0;
    for (int c = colKey; c <= colConflict; ++c) total += natural[c];
    // Too wide: every column that needs less than its share keeps its width, the others get the
    // share of what is left; repeated until no column changes sides.
    bool capped[colConflict + 1];
    for (int c = colKey; c <= colConflict; ++c) capped[c] = total > width;
    int share = 0;
    for (bool settled = total <= width; !settled;) {
        settled = true;
        int rest = width, weights = 0;
        for (int c = colKey; c <= colConflict; ++c) {
            if (capped[c]) weights += weight[c];
            else rest -= natural[c];
        }
        if (weights == 0) break;
        share = std::max(20, rest / weights);
        for (int c = colKey; c <= colConflict; ++c)
            if (capped[c] && natural[c] <= share * weight[c]) {
                capped[c] = false;
                settled = false;
            }
    }
    int used = 0;
    for (int c = colKey; c <= colConflict; ++c) {
        const int w = capped[c] ? share * weight[c] : natural[c];
        ListView_SetColumnWidth(lvw_, c, w);
        used += w;
    }
    // Room to spare goes to the key.
    if (used < width) ListView_SetColumnWidth(lvw_, colKey, ListView_GetColumnWidth(lvw_, colKey) + width - used);
}

void frmRestorePreview::OnLayout(int, int) {
    if (Wnd(lvw_).Client().right != fittedTo_) FitColumns();
    InvalidateRect(hwnd(), nullptr, TRUE);
}

std::vector<bool> frmRestorePreview::Checks() const {
    std::vector<bool> checks(plan_ ? plan_->rows.size() : 0, false);
    ListView list(lvw_);
    for (int i = 0; i < list.Count(); ++i) {
        const size_t row = static_cast<size_t>(list.Data(i));
        if (row < checks.size()) checks[row] = ListView_GetCheckState(lvw_, i) != FALSE;
    }
    return checks;
}

void frmRestorePreview::ShowSummary() {
    if (!plan_) return;
    const std::vector<bool> checks = Checks();
    size_t changing = 0, picked = 0;
    for (size_t i = 0; i < plan_->rows.size(); ++i) {
        if (!Changes(plan_->rows[i])) continue;
        ++changing;
        if (checks[i]) ++picked;
    }
    Item(IDC_lblRestoreSummary).SetText(SummaryText(*plan_, checks));
    // Nothing chosen writes nothing; a file the registry already holds can still be confirmed.
    Item(IDOK).Enable(picked > 0 || changing == 0);
    Item(IDC_cmdAlleZurueck).Enable(changing > 0);
}

void frmRestorePreview::cmdAlleZurueck_Click() {
    // A conflict that is already so (a key made again) is not overwritten: it is not counted.
    const size_t conflicts = static_cast<size_t>(std::count_if(plan_->rows.begin(), plan_->rows.end(),
                                                               [](const RestoreRow& r) { return r.conflict && Changes(r); }));
    if (conflicts > 0 && MessageBoxW(hwnd(), OverwriteQuestion(conflicts).c_str(), AppEnvironment.AppTitle.c_str(),
                                     MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2) != IDYES)
        return;
    chosen_.assign(plan_->rows.size(), true);
    Trace(kModule, L"cmdAlleZurueck_Click", fileName_ + L": alle Zeilen werden zurückgeschrieben");
    EndDialog(hwnd(), IDC_cmdAlleZurueck);
}

void frmRestorePreview::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDOK:
        // Enter reaches here even while the button is disabled.
        if (!Item(IDOK).Enabled()) break;
        chosen_ = Checks();
        EndDialog(hwnd(), IDOK);
        break;
    case IDC_cmdAlleZurueck:
        if (code == BN_CLICKED) Trap(kModule, L"cmdAlleZurueck_Click", [&] { cmdAlleZurueck_Click(); });
        break;
    case IDCANCEL: EndDialog(hwnd(), IDCANCEL); break;
    default: break;
    }
}

LRESULT frmRestorePreview::lvwRestore_CustomDraw(NMLVCUSTOMDRAW* draw) const {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        const size_t row = static_cast<size_t>(draw->nmcd.lItemlParam);
        if (!plan_ || row >= plan_->rows.size()) return CDRF_DODEFAULT;
        if (plan_->rows[row].conflict) draw->clrText = RGB(255, 0, 0);
        else if (!Changes(plan_->rows[row])) draw->clrText = GetSysColor(COLOR_GRAYTEXT);
        else return CDRF_DODEFAULT;
        return CDRF_NEWFONT;
    }
    default: return CDRF_DODEFAULT;
    }
}

void frmRestorePreview::lvwRestore_InfoTip(NMLVGETINFOTIPW* tip) const {
    const size_t row = static_cast<size_t>(ListView(lvw_).Data(tip->iItem));
    if (!plan_ || row >= plan_->rows.size() || !tip->pszText || tip->cchTextMax <= 0) return;
    const RestoreRow& r = plan_->rows[row];
    std::wstring text = r.KeyText();
    if (r.isValue) text += L"\r\nWert: " + r.ValueText();
    text += L"\r\n" + r.ChangeText();
    if (r.now) text += L"\r\nJetzt: " + *r.now;
    if (r.after) text += L"\r\nDanach: " + *r.after;
    if (r.conflict) text += L"\r\nKonflikt: " + r.conflictReason;
    if (!r.refused.empty()) text += L"\r\n" + r.refused;
    lstrcpynW(tip->pszText, text.c_str(), tip->cchTextMax);
}

LRESULT frmRestorePreview::OnNotify(NMHDR* hdr) {
    if (hdr->hwndFrom != lvw_ || !plan_) return 0;
    switch (hdr->code) {
    case NM_CUSTOMDRAW: return lvwRestore_CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(hdr));
    case LVN_GETINFOTIPW: lvwRestore_InfoTip(reinterpret_cast<NMLVGETINFOTIPW*>(hdr)); return 0;
    case LVN_ITEMCHANGING: {
        // A row that is already so has nothing to write: its box stays empty.
        const auto* change = reinterpret_cast<NMLISTVIEW*>(hdr);
        if (filling_ || !(change->uChanged & LVIF_STATE) || StateImage(change->uNewState) != 2) return FALSE;
        const size_t row = static_cast<size_t>(change->lParam);
        return row < plan_->rows.size() && !Changes(plan_->rows[row]) ? TRUE : FALSE;
    }
    case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<NMLISTVIEW*>(hdr);
        if (!filling_ && (change->uChanged & LVIF_STATE) && StateImage(change->uNewState) != StateImage(change->uOldState))
            ShowSummary();
        return 0;
    }
    default: return 0;
    }
}

// app/main/WindowHandler.cpp
#include "main/WindowHandler.h"
#include "backup/frmBackup.h"
#include "core/RuntimeError.h"
#include "core/win/MdiChild.h"
#include "disk/frmHDD.h"
#include "errors/frmBugReport.h"
#include "errors/frmError.h"
#include "programs/frmInstalledPrograms.h"
#include "extras/frmAutorunNew.h"
#include "extras/frmExtraScan.h"
#include "office/frmOffice.h"
#include "scan/frmAusnahmen.h"
#include "scan/frmRegScan.h"
#include "ui/frmLogin.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include "ui/frmOptionen.h"
#include "ui/frmPopUp.h"
#include <type_traits>
#include <vector>

namespace {
template <class T>
WindowRow Row(WindowKind kind, int editCommand = 0) {
    WindowRow row{T::kWindowNo, kind, editCommand, []() -> std::unique_ptr<Form> { return std::make_unique<T>(); }, nullptr};
    if constexpr (std::is_base_of_v<MdiChildForm, T>)
        row.child = [](Form& f) -> MdiChildForm* { return &static_cast<T&>(f); };
    return row;
}

// In the order of the numbers: closing all goes backwards, so the main window goes last.
const WindowRow kWindows[] = {
    Row<frmMDI>(WindowKind::TopLevel),
    Row<frmRegScan>(WindowKind::MdiChild, IDM_mnuRegScanStart),
    Row<frmAutorunNew>(WindowKind::ModelessDialog),
    Row<frmBackup>(WindowKind::MdiChild, IDM_mnuBackupZeigen),
    Row<frmBugReport>(WindowKind::MdiChild),
    Row<frmError>(WindowKind::ModalDialog),
    Row<frmExtraScan>(WindowKind::MdiChild, IDM_mnuExtraScanRegistryDefrag),
    Row<frmHDD>(WindowKind::MdiChild, IDM_mnuHDDAddFolder),
    Row<frmInstalledPrograms>(WindowKind::MdiChild, IDM_mnuInstalledProgramsDel),
    Row<frmLogin>(WindowKind::ModelessDialog),
    Row<frmOptionen>(WindowKind::ModelessDialog),
    Row<frmOffice>(WindowKind::MdiChild, IDM_mnuOfficeAccessClean),
    Row<frmPopUp>(WindowKind::TopLevel),
    Row<frmAusnahmen>(WindowKind::ModalDialog),
};
}  // namespace

std::span<const WindowRow> clsWindowHandler::Rows() { return kWindows; }

const WindowRow* clsWindowHandler::Row(int number) {
    for (const WindowRow& r : kWindows)
        if (r.number == number) return &r;
    return nullptr;
}

Form& clsWindowHandler::Window(int number) {
    const WindowRow* row = Row(number);
    if (!row) throw RuntimeError{380, L"Fenster " + std::to_wstring(number) + L" gibt es nicht."};
    // A map keeps this reference valid while the new window's load asks for other windows.
    std::unique_ptr<Form>& slot = slots_[number];
    if (!slot || !slot->Loaded()) {
        // A child window lives inside the main window: that comes first.
        if (row->kind == WindowKind::MdiChild && number != WindowNo::MDI) Window(WindowNo::MDI);
        slot.reset();
        slot = row->create();
        Form& form = *slot;
        form.Load();
        return form;
    }
    return *slot;
}

MdiChildForm* clsWindowHandler::Child(int number) {
    const WindowRow* row = Row(number);
    if (!row || !row->child) return nullptr;
    return row->child(Window(number));
}

bool clsWindowHandler::RouteCommand(int id, HWND active) {
    std::vector<MdiChildForm*> children;
    for (const WindowRow& r : kWindows)
        if (r.child && IsLoaded(r.number)) children.push_back(r.child(*slots_[r.number]));
    return OfferCommand(children, active, id);
}

bool clsWindowHandler::IsLoaded(int number) const {
    auto it = slots_.find(number);
    return it != slots_.end() && it->second && it->second->Loaded();
}

void clsWindowHandler::CloseWindow(int16_t number) {
    auto close = [this](int n) {
        auto it = slots_.find(n);
        if (it == slots_.end() || !it->second) return;
        // Take the window out of its slot first: its unload may ask the handler for windows again.
        std::unique_ptr<Form> form = std::move(it->second);
        form->Unload();
    };
    if (number == WindowNo::All) {
        for (auto r = std::rbegin(kWindows); r != std::rend(kWindows); ++r) close(r->number);
    } else {
        close(number);
    }
}

clsWindowHandler& WindowHandler() {
    static clsWindowHandler handler;
    return handler;
}

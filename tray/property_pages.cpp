#include "tray/property_pages.h"

#include "tray/discovery.h"
#include "tray/trace.h"
#include "tray/tray_icon.h"

namespace tray {

namespace {

[[maybe_unused]] unsigned Low32(std::uintptr_t v) { return static_cast<unsigned>(v & 0xFFFFFFFFu); }

// Steps 4 to 8: the provider's pages for one element of the set, shown in a
// modal sheet; the library is unloaded as soon as the sheet has closed.
bool ShowSheet(plat::System& sys, Family family, const CStorageDevice& record, plat::Hdevinfo set,
               std::uint32_t element) {
    plat::Libraries& libraries = sys.libraries();
    plat::Hmodule library = libraries.Load(kPageProviderLibrary);
    if (library == plat::Hmodule::None) {
        TRAY_TRACE(sys, "Could not load DLL - %s, 0x%x\n", kPageProviderLibrary, sys.kernel().LastError());
        return false;
    }
    bool shown = false;
    plat::Hproc entry = libraries.FindEntry(library, kPageProviderEntry);
    if (entry == plat::Hproc::None) {
        TRAY_TRACE(sys, "Could not get Proc address - %s\n", kPageProviderEntry);
    } else {
        CSheetHeader sheet;
        sheet.sys = &sys;
        sheet.header.flags = plat::PSH_PROPTITLE | plat::PSH_USEHICON;
        sheet.header.parent = plat::Hwnd::None;
        sheet.header.icon = record.m_hIcon;
        sheet.header.caption = GetFriendlyName(sys, family, record.m_guidInterface, record.m_strDevicePath);
        sheet.header.pageCount = 0;
        sheet.header.startPage = 0;
        sheet.header.pages = sheet.pages.data();
        plat::PropSheetPageRequest request;
        request.pageRequested = plat::SPPSR_ENUM_ADV_DEVICE_PROPERTIES;
        request.set = set;
        request.element = element;
        if (libraries.CallEnumPropPages(entry, request, &AddPropertyPage, reinterpret_cast<std::intptr_t>(&sheet))) {
            TRAY_TRACE(sys, "Displaying PropertySheets - %d pages\n", static_cast<int>(sheet.header.pageCount));
            [[maybe_unused]] const std::intptr_t r = sys.dialogs().ShowPropertySheet(sheet.header);
            TRAY_TRACE(sys, "Returned from PropertySheets - 0x%x, 0x%x\n", Low32(static_cast<std::uintptr_t>(r)),
                       sys.kernel().LastError());
            shown = true;
        } else {
            TRAY_TRACE(sys, "Could not get PropertySheets\n");
        }
    }
    libraries.Free(library);
    return shown;
}

}  // namespace

bool AddPropertyPage(plat::Hpropsheetpage page, std::intptr_t context) {
    auto* sheet = reinterpret_cast<CSheetHeader*>(context);
    if (sheet == nullptr) return false;
    TRAY_TRACE(*sheet->sys, "Adding PropertySheet - 0x%x\n", Low32(plat::Raw(page)));
    if (sheet->header.pageCount >= kMaxSheetPages) return false;
    sheet->pages[sheet->header.pageCount] = page;
    if (page != plat::Hpropsheetpage::None) ++sheet->header.pageCount;
    return true;
}

bool CTrayIcon::ShowPropertyPages(unsigned slot) {
    std::unique_ptr<CStorageDevice> copy = m_devices.FindCopyBySlot(slot);
    if (!copy) return false;
    plat::DeviceTree& tree = m_sys.deviceTree();
    plat::Hdevinfo set = tree.GetInterfaceSet(copy->m_guidInterface, false);
    if (set == plat::Hdevinfo::None) return false;
    bool shown = false;
    for (std::uint32_t index = 0; index < kMaxInterfaceMembers; ++index) {
        plat::InterfaceDetail detail;
        plat::EnumResult r = tree.EnumInterface(set, copy->m_guidInterface, index, detail);
        if (r == plat::EnumResult::NoMore) break;
        if (r != plat::EnumResult::Ok || !SamePath(detail.path, copy->m_strDevicePath)) continue;
        shown = ShowSheet(m_sys, m_family, *copy, set, detail.element);
        break;
    }
    tree.DestroySet(set);
    return shown;
}

}  // namespace tray

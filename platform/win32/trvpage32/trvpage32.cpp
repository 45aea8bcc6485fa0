// TRVPAGE32.DLL: a property-page provider of our own, standing in for the
// adapter's, for the tests and the simulator. Its entry "EnumPropPages"
// offers one page, "Adapter", that shows the device's name and instance path.
//
// Test mode, chosen by environment variables:
//   TRVPAGE32_TEST_PAGES   a number N (N pages, "Page 1" ... "Page N"), or a
//                          pattern of 'p' (a page) and '0' (a null handle)
//   TRVPAGE32_TEST_RESULT  "0": the entry returns FALSE after offering them
// A page the callback refuses is destroyed again, and no more are offered.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <prsht.h>
#include <setupapi.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

constexpr int kPageTemplate = 100;
constexpr int kNameText = 101;
constexpr int kPathText = 102;

HINSTANCE g_module = nullptr;

struct PageData {
    std::string title;
    std::string name;
    std::string path;
};

INT_PTR CALLBACK PageProcedure(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    const auto* sheetPage = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
    const auto* data = reinterpret_cast<const PageData*>(sheetPage->lParam);
    SetDlgItemTextA(page, kNameText, data->name.c_str());
    SetDlgItemTextA(page, kPathText, data->path.c_str());
    return TRUE;
}

UINT CALLBACK PageCallback(HWND, UINT message, LPPROPSHEETPAGEA page) {
    if (message == PSPCB_RELEASE) delete reinterpret_cast<PageData*>(page->lParam);
    return 1;
}

HPROPSHEETPAGE MakePage(const std::string& title, const std::string& name, const std::string& path) {
    auto* data = new PageData{title, name, path};
    PROPSHEETPAGEA page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE | PSP_USECALLBACK;
    page.hInstance = g_module;
    page.pszTemplate = MAKEINTRESOURCEA(kPageTemplate);
    page.pfnDlgProc = PageProcedure;
    page.pszTitle = data->title.c_str();
    page.pfnCallback = PageCallback;
    page.lParam = reinterpret_cast<LPARAM>(data);
    HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page);
    if (handle == nullptr) delete data;
    return handle;
}

std::string Property(HDEVINFO set, SP_DEVINFO_DATA* element, DWORD property) {
    char buffer[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyA(set, element, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - 1, nullptr))
        return {};
    return buffer;
}

void Describe(PSP_PROPSHEETPAGE_REQUEST request, std::string& name, std::string& path) {
    name = "Unknown device";
    path.clear();
    if (request->DeviceInfoSet == INVALID_HANDLE_VALUE || request->DeviceInfoSet == nullptr ||
        request->DeviceInfoData == nullptr)
        return;
    std::string friendly = Property(request->DeviceInfoSet, request->DeviceInfoData, SPDRP_FRIENDLYNAME);
    if (friendly.empty()) friendly = Property(request->DeviceInfoSet, request->DeviceInfoData, SPDRP_DEVICEDESC);
    if (!friendly.empty()) name = friendly;
    char id[512] = {};
    if (SetupDiGetDeviceInstanceIdA(request->DeviceInfoSet, request->DeviceInfoData, id, sizeof id, nullptr)) path = id;
}

std::string Environment(const char* name) {
    char value[256] = {};
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// The pages to offer: a title each, empty for a null handle.
std::vector<std::string> Plan() {
    const std::string pattern = Environment("TRVPAGE32_TEST_PAGES");
    std::vector<std::string> titles;
    if (pattern.empty()) {
        titles.push_back("Adapter");
        return titles;
    }
    bool digits = true;
    for (char c : pattern) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (digits) {
        const unsigned long count = std::stoul(pattern);
        for (unsigned long i = 1; i <= count && i <= 1000; ++i) titles.push_back("Page " + std::to_string(i));
        return titles;
    }
    int page = 0;
    for (char c : pattern) titles.push_back(c == '0' ? std::string() : "Page " + std::to_string(++page));
    return titles;
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI EnumPropPages(PSP_PROPSHEETPAGE_REQUEST request,
                                                           LPFNADDPROPSHEETPAGE addPage, LPARAM context) {
    if (request == nullptr || addPage == nullptr || request->PageRequested != SPPSR_ENUM_ADV_DEVICE_PROPERTIES)
        return FALSE;
    std::string name, path;
    Describe(request, name, path);
    for (const std::string& title : Plan()) {
        HPROPSHEETPAGE page = title.empty() ? nullptr : MakePage(title, name, path);
        if (!addPage(page, context)) {
            if (page != nullptr) DestroyPropertySheetPage(page);
            break;
        }
    }
    return Environment("TRVPAGE32_TEST_RESULT") == "0" ? FALSE : TRUE;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

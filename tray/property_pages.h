// The property-sheet host: the pages come from the adapter's property-page
// provider "TRVPAGE32.DLL", loaded for one sheet and unloaded after it.
#pragma once

#include <array>
#include <cstdint>

#include "platform/system.h"

namespace tray {

inline constexpr char kPageProviderLibrary[] = "TRVPAGE32.DLL";
inline constexpr char kPageProviderEntry[] = "EnumPropPages";
inline constexpr std::uint32_t kMaxSheetPages = 20;

// The sheet header the provider's pages are collected in; its address is the
// context the provider hands back to AddPropertyPage.
struct CSheetHeader {
    plat::System* sys = nullptr;
    plat::PropertySheetHeader header;
    std::array<plat::Hpropsheetpage, kMaxSheetPages> pages{};
};

// The add-page callback: takes a page while fewer than 20 are counted; a
// null page is taken but not counted (the next page overwrites it).
bool AddPropertyPage(plat::Hpropsheetpage page, std::intptr_t context);

}  // namespace tray

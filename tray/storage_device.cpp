#include "tray/storage_device.h"

#include <algorithm>
#include <cctype>

namespace tray {

bool SamePath(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

CDeviceList::~CDeviceList() { RemoveAllDevices(); }

std::list<std::unique_ptr<CStorageDevice>>::iterator CDeviceList::Locate(Position pos) {
    for (auto it = m_list.begin(); it != m_list.end(); ++it)
        if (static_cast<const void*>(&*it) == pos) return it;
    return m_list.end();
}

CStorageDevice* CDeviceList::Find(Position pos) {
    if (pos == nullptr) return nullptr;
    auto it = Locate(pos);
    return it == m_list.end() ? nullptr : it->get();
}

void CDeviceList::ReleaseBitmapOf(CStorageDevice& rec) {
    if (rec.m_hBitmap != plat::Hbitmap::None) {
        m_resources.DeleteBitmap(rec.m_hBitmap);
        rec.m_hBitmap = plat::Hbitmap::None;
    }
}

CDeviceList::Position CDeviceList::GetHeadPosition() {
    std::lock_guard<std::mutex> lk(m_cs);
    return m_list.empty() ? nullptr : static_cast<const void*>(&m_list.front());
}

CStorageDevice* CDeviceList::GetAt(Position pos) {
    std::lock_guard<std::mutex> lk(m_cs);
    return Find(pos);
}

CStorageDevice* CDeviceList::GetNext(Position& pos) {
    std::lock_guard<std::mutex> lk(m_cs);
    if (pos == nullptr) return nullptr;
    auto it = Locate(pos);
    if (it == m_list.end()) {
        pos = nullptr;
        return nullptr;
    }
    CStorageDevice* rec = it->get();
    ++it;
    pos = it == m_list.end() ? nullptr : static_cast<const void*>(&*it);
    return rec;
}

std::unique_ptr<CStorageDevice> CDeviceList::CopyAt(Position pos) {
    std::lock_guard<std::mutex> lk(m_cs);
    CStorageDevice* rec = Find(pos);
    return rec ? std::make_unique<CStorageDevice>(*rec) : nullptr;
}

void CDeviceList::UpdateFrom(const CStorageDevice* copy) {
    if (copy == nullptr) return;
    std::lock_guard<std::mutex> lk(m_cs);
    for (auto& rec : m_list) {
        if (SamePath(rec->m_strDevicePath, copy->m_strDevicePath)) {
            *rec = *copy;
            return;
        }
    }
}

std::uint8_t CDeviceList::GetSlotAt(Position pos) {
    std::lock_guard<std::mutex> lk(m_cs);
    CStorageDevice* rec = Find(pos);
    return rec ? rec->m_nSlot : 0;
}

std::string CDeviceList::GetNameAt(Position pos) {
    std::lock_guard<std::mutex> lk(m_cs);
    CStorageDevice* rec = Find(pos);
    return rec ? rec->m_strDisplayName : std::string();
}

bool CDeviceList::ContainsPath(const std::string& path) {
    std::lock_guard<std::mutex> lk(m_cs);
    return std::any_of(m_list.begin(), m_list.end(),
                       [&](const std::unique_ptr<CStorageDevice>& r) { return SamePath(r->m_strDevicePath, path); });
}

std::unique_ptr<CStorageDevice> CDeviceList::FindCopyBySlot(unsigned slot) {
    for (Position pos = GetHeadPosition(); pos != nullptr;) {
        Position here = pos;
        if (GetSlotAt(here) == slot) return CopyAt(here);
        GetNext(pos);
    }
    return nullptr;
}

unsigned CDeviceList::NextFreeSlot() {
    bool used[256] = {};
    {
        std::lock_guard<std::mutex> lk(m_cs);
        for (auto& rec : m_list)
            if (rec->m_nSlot != 0) used[rec->m_nSlot - 1] = true;
    }
    for (unsigned i = 0; i < 255; ++i)
        if (!used[i]) return i + 1;
    return 0;  // every slot 1..255 is taken
}

bool CDeviceList::AddDevice(std::unique_ptr<CStorageDevice> record) {
    if (!record) return false;
    if (record->m_nSlot == 0) {
        ReleaseBitmapOf(*record);
        return false;
    }
    std::lock_guard<std::mutex> lk(m_cs);
    m_list.push_back(std::move(record));
    return true;
}

void CDeviceList::RemoveDeviceAt(Position pos) {
    std::lock_guard<std::mutex> lk(m_cs);
    if (pos == nullptr) return;
    auto it = Locate(pos);
    if (it == m_list.end()) return;
    ReleaseBitmapOf(**it);
    m_list.erase(it);
}

void CDeviceList::RemoveAllDevices() {
    std::lock_guard<std::mutex> lk(m_cs);
    while (!m_list.empty()) {
        ReleaseBitmapOf(*m_list.front());
        m_list.pop_front();
    }
}

std::uint32_t CDeviceList::GetDevNodeAt(Position pos, const NodeFinder& find) {
    std::lock_guard<std::mutex> lk(m_cs);
    CStorageDevice* rec = Find(pos);
    return rec ? find(rec->m_guidInterface, rec->m_strDevicePath) : 0;
}

std::size_t CDeviceList::GetCount() {
    std::lock_guard<std::mutex> lk(m_cs);
    return m_list.size();
}

}  // namespace tray

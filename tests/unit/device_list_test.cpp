// The notifier's device list: slots, order, path look-ups, copies written
// back, and bitmaps released exactly once.
#include "tray/storage_device.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using tray::CDeviceList;
using tray::CStorageDevice;

// Counts what the list does with bitmaps.
class CountingResources : public plat::Resources {
public:
    std::string String(std::uint32_t) override { return {}; }
    plat::Hicon Icon(std::uint32_t) override { return plat::Hicon::None; }
    plat::Hbitmap Bitmap(std::uint32_t, bool) override { return static_cast<plat::Hbitmap>(++next); }
    bool DeleteBitmap(plat::Hbitmap b) override {
        ++deletes[plat::Raw(b)];
        return true;
    }
    std::uintptr_t next = 100;
    std::map<std::uintptr_t, int> deletes;
};

class DeviceListTest : public ::testing::Test {
protected:
    std::unique_ptr<CStorageDevice> Make(const std::string& path) {
        auto r = std::make_unique<CStorageDevice>();
        r->m_nSlot = static_cast<std::uint8_t>(list.NextFreeSlot());
        r->m_strDevicePath = path;
        r->m_strDisplayName = "name of " + path;
        r->m_hBitmap = res.Bitmap(164, true);
        return r;
    }
    std::vector<std::string> Paths() {
        std::vector<std::string> out;
        for (auto pos = list.GetHeadPosition(); pos;) out.push_back(list.GetNext(pos)->m_strDevicePath);
        return out;
    }
    CDeviceList::Position PositionOf(const std::string& path) {
        for (auto pos = list.GetHeadPosition(); pos;) {
            auto here = pos;
            if (list.GetNext(pos)->m_strDevicePath == path) return here;
        }
        return nullptr;
    }

    CountingResources res;
    CDeviceList list{res};
};

TEST_F(DeviceListTest, SlotOneIsReusedAndOtherSlotsStay) {
    list.AddDevice(Make("A"));
    list.AddDevice(Make("B"));
    list.AddDevice(Make("C"));
    EXPECT_EQ(list.GetSlotAt(PositionOf("A")), 1);
    EXPECT_EQ(list.GetSlotAt(PositionOf("C")), 3);
    list.RemoveDeviceAt(PositionOf("A"));
    list.AddDevice(Make("D"));
    EXPECT_EQ(list.GetSlotAt(PositionOf("D")), 1);
    EXPECT_EQ(list.GetSlotAt(PositionOf("B")), 2);
    EXPECT_EQ(list.GetSlotAt(PositionOf("C")), 3);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"B", "C", "D"}));
}

TEST_F(DeviceListTest, WalkIsInListingOrder) {
    list.AddDevice(Make("A"));
    list.AddDevice(Make("B"));
    list.AddDevice(Make("C"));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"A", "B", "C"}));
    list.RemoveDeviceAt(PositionOf("B"));
    EXPECT_EQ(Paths(), (std::vector<std::string>{"A", "C"}));
}

TEST_F(DeviceListTest, PathsCompareWithoutLetterCase) {
    list.AddDevice(Make("\\\\?\\USB#Vid_0B13"));
    EXPECT_TRUE(list.ContainsPath("\\\\?\\usb#vid_0b13"));
    EXPECT_FALSE(list.ContainsPath("\\\\?\\usb#vid_0b14"));
    auto copy = list.CopyAt(list.GetHeadPosition());
    copy->m_strDevicePath = "\\\\?\\usb#VID_0b13";
    copy->m_strDisplayName = "renamed";
    list.UpdateFrom(copy.get());
    EXPECT_EQ(list.GetNameAt(list.GetHeadPosition()), "renamed");
}

TEST_F(DeviceListTest, CopyWrittenBackAfterItsDeviceLeftIsNotResurrected) {
    list.AddDevice(Make("A"));
    list.AddDevice(Make("B"));
    auto copy = list.CopyAt(PositionOf("A"));
    list.RemoveDeviceAt(PositionOf("A"));
    copy->m_strDisplayName = "changed meanwhile";
    list.UpdateFrom(copy.get());
    list.UpdateFrom(nullptr);
    EXPECT_EQ(Paths(), (std::vector<std::string>{"B"}));
    EXPECT_EQ(list.GetCount(), 1u);
}

TEST_F(DeviceListTest, FindCopyBySlotAndVanishedPositions) {
    list.AddDevice(Make("A"));
    list.AddDevice(Make("B"));
    auto b = list.FindCopyBySlot(2);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->m_strDevicePath, "B");
    EXPECT_FALSE(list.FindCopyBySlot(3));
    auto gone = PositionOf("A");
    list.RemoveDeviceAt(gone);
    EXPECT_EQ(list.CopyAt(gone), nullptr);
    EXPECT_EQ(list.GetSlotAt(gone), 0);
    EXPECT_EQ(list.GetNameAt(gone), "");
}

TEST_F(DeviceListTest, EveryBitmapIsReleasedExactlyOnce) {
    for (const char* p : {"A", "B", "C"}) list.AddDevice(Make(p));
    // A copy shares the listed record's bitmap; deleting the copy releases nothing.
    list.CopyAt(list.GetHeadPosition()).reset();
    list.RemoveDeviceAt(PositionOf("B"));
    list.RemoveAllDevices();
    ASSERT_EQ(res.deletes.size(), 3u);
    for (auto& [bitmap, n] : res.deletes) EXPECT_EQ(n, 1) << bitmap;
}

TEST_F(DeviceListTest, No256thDeviceIsListed) {
    for (int i = 0; i < 255; ++i) ASSERT_TRUE(list.AddDevice(Make("dev" + std::to_string(i))));
    EXPECT_EQ(list.NextFreeSlot(), 0u);
    EXPECT_FALSE(list.AddDevice(Make("one too many")));
    EXPECT_EQ(list.GetCount(), 255u);
    for (auto pos = list.GetHeadPosition(); pos;) {
        auto slot = list.GetNext(pos)->m_nSlot;
        ASSERT_GE(slot, 1);
        ASSERT_LE(slot, 255);
    }
    // The refused record's bitmap was released with it.
    EXPECT_EQ(res.deletes.size(), 1u);
    list.RemoveDeviceAt(PositionOf("dev7"));
    EXPECT_EQ(list.NextFreeSlot(), 8u);
}

}  // namespace

// trvtest: the Wine tests' view of the machine from outside the notifier.
//
//   trvtest find-window TITLE            exit 0 if a top-level window has that
//                                        title (prints "visible" or "hidden"), else 1
//   trvtest wait-window TITLE SECONDS    exit 0 as soon as it exists, 1 after SECONDS
//   trvtest wait-gone TITLE SECONDS      exit 0 as soon as it is gone, 1 after SECONDS
//   trvtest broadcast-event TYPE PATH    sends a "TRV\Event" device event broadcast
//                                        (event type TYPE, device path PATH) to every
//                                        top-level window
//   trvtest send-devicechange WPARAM     WM_DEVICECHANGE (lParam 0) to the window "TRVNOTIF"
//   trvtest send-power WPARAM            WM_POWERBROADCAST (lParam 0) to the window "TRVNOTIF"
//
// Numbers may be decimal or 0x-hexadecimal. Exit code 2: bad command line or
// a failed system call.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/device_event.h"
#include "common/guid.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_test_probe.h"

namespace {

constexpr char kNotifierTitle[] = "TRVNOTIF";
constexpr std::uint32_t kSendTimeoutMs = 5000;

bool ParseNumber(const char* text, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, 0);
    return end != text && *end == '\0';
}

int Usage() {
    std::fputs("usage: trvtest find-window TITLE | wait-window TITLE SECONDS | wait-gone TITLE SECONDS |\n"
               "       broadcast-event TYPE PATH | send-devicechange WPARAM | send-power WPARAM\n",
               stderr);
    return 2;
}

// Polls every 100 ms until the window's presence is `present`.
int WaitFor(plat::Ui& ui, const char* title, const char* seconds, bool present) {
    unsigned long limit = 0;
    if (!ParseNumber(seconds, limit)) return Usage();
    for (unsigned long waited = 0;; waited += 100) {
        if ((ui.FindTopLevel(title) != plat::Hwnd::None) == present) return 0;
        if (waited >= limit * 1000) break;
        plat::win32::probe::SleepMs(100);
    }
    std::printf("%s: window \"%s\" still %s after %lu s\n", present ? "wait-window" : "wait-gone", title,
                present ? "missing" : "present", limit);
    return 1;
}

int SendToNotifier(plat::Ui& ui, std::uint32_t message, const char* wParamText) {
    unsigned long wParam = 0;
    if (!ParseNumber(wParamText, wParam)) return Usage();
    plat::Hwnd h = ui.FindTopLevel(kNotifierTitle);
    if (h == plat::Hwnd::None) {
        std::printf("no window \"%s\"\n", kNotifierTitle);
        return 1;
    }
    std::intptr_t result = 0;
    if (!plat::win32::probe::SendWithTimeout(h, message, wParam, 0, kSendTimeoutMs, &result)) {
        std::printf("send failed or timed out\n");
        return 2;
    }
    std::printf("sent, result %ld\n", static_cast<long>(result));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    auto sys = plat::win32::CreateSystem();
    plat::Ui& ui = sys->ui();
    const std::string command = argv[1];

    if (command == "find-window" && argc == 3) {
        plat::Hwnd h = ui.FindTopLevel(argv[2]);
        if (h == plat::Hwnd::None) {
            std::printf("not found\n");
            return 1;
        }
        std::printf("%s\n", ui.IsVisible(h) ? "visible" : "hidden");
        return 0;
    }
    if (command == "wait-window" && argc == 4) return WaitFor(ui, argv[2], argv[3], true);
    if (command == "wait-gone" && argc == 4) return WaitFor(ui, argv[2], argv[3], false);
    if (command == "broadcast-event" && argc == 4) {
        unsigned long type = 0;
        if (!ParseNumber(argv[2], type)) return Usage();
        trv::DeviceEventRecord record;
        record.eventType = static_cast<std::uint32_t>(type);
        record.interfaceClass = trv::AdapterInterfaceGuid;
        record.devicePath = argv[3];
        auto payload = trv::EncodeEventRecord(record);
        std::vector<std::uint8_t> block = trv::EncodeEventBroadcast(payload);
        if (!plat::win32::probe::BroadcastSent(plat::WM_DEVICECHANGE, plat::DBT_USERDEFINED, block.data())) {
            std::printf("broadcast failed\n");
            return 2;
        }
        std::printf("broadcast sent\n");
        return 0;
    }
    if (command == "send-devicechange" && argc == 3) return SendToNotifier(ui, plat::WM_DEVICECHANGE, argv[2]);
    if (command == "send-power" && argc == 3) return SendToNotifier(ui, plat::WM_POWERBROADCAST, argv[2]);
    return Usage();
}

// The two builds of the notifier share every source; the operations that
// differ between the operating-system families look at this.
#pragma once

namespace tray {

enum class Family {
    Nt,     // TRVTRAY: Windows 2000/XP
    Win9x,  // TRVTRAY9X: Windows 95/98/Me
};

}  // namespace tray

// The notifier's trace points. A diagnostic build (TRV_DIAGNOSTIC) writes
// "TRVNOTIF - " and the message to the platform's trace sink; the delivered
// build compiles every trace point away, arguments included.
#pragma once

#include "platform/system.h"

namespace tray {
// printf-style; only ever called with literal formats.
void TraceLine(plat::System& sys, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
}  // namespace tray

#if defined(TRV_DIAGNOSTIC)
#define TRAY_TRACE(sys, ...) ::tray::TraceLine((sys), __VA_ARGS__)
#else
#define TRAY_TRACE(sys, ...) ((void)0)
#endif

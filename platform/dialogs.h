// Modal dialogs from the program's own dialog templates, shown without an
// owner window. (Message boxes are in message_box.h.)
#pragma once

#include <cstdint>

#include "platform/message_box.h"
#include "platform/types.h"

namespace plat {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // DialogBox of template `templateId` from the program's resources,
    // without an owner window. The dialog has no behaviour of its own: OK
    // or closing it (IDCANCEL) ends it. Returns the id of the button that
    // ended it, -1 when the dialog cannot be shown.
    virtual std::intptr_t ShowModalDialog(std::uint32_t templateId) = 0;
};

}  // namespace plat

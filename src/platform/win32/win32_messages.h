// Native messages that services post for the program's loop: a service that
// posts its own messages (the capture device's returned buffer) registers a
// translator, and the message pump asks the translators before it offers a
// message to the program's hook.
#pragma once

#include <windows.h>

#include "platform/ui_seam.h"

namespace duskpane {

class NativeMessageTranslator {
public:
    virtual ~NativeMessageTranslator() = default;
    // Fills the portable message for a native one it knows; false otherwise.
    virtual bool Translate(const MSG& native, Message& message) = 0;
};

// GUI thread only. A translator must be unregistered before it is destroyed.
void RegisterMessageTranslator(NativeMessageTranslator& translator);
void UnregisterMessageTranslator(NativeMessageTranslator& translator);

// The portable form of a native message: a registered translator's, or kind
// Other with the native message number.
Message TranslateNativeMessage(const MSG& native);

}  // namespace duskpane

// The registry of native-message translators the message pump consults.
#include "platform/win32/win32_messages.h"

#include <algorithm>
#include <vector>

namespace duskpane {
namespace {

std::vector<NativeMessageTranslator*>& Translators() {
    static std::vector<NativeMessageTranslator*> translators;
    return translators;
}

}  // namespace

void RegisterMessageTranslator(NativeMessageTranslator& translator) {
    auto& all = Translators();
    if (std::find(all.begin(), all.end(), &translator) == all.end()) all.push_back(&translator);
}

void UnregisterMessageTranslator(NativeMessageTranslator& translator) {
    auto& all = Translators();
    all.erase(std::remove(all.begin(), all.end(), &translator), all.end());
}

Message TranslateNativeMessage(const MSG& native) {
    Message message;
    message.nativeCode = native.message;
    for (NativeMessageTranslator* translator : Translators())
        if (translator->Translate(native, message)) return message;
    return message;
}

}  // namespace duskpane

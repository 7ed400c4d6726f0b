#include "serial/component.h"

#include <cstdio>
#include <mutex>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/text/format.h"

namespace serial {

void TPersistent::CopySettingsFrom(const TPersistent& source) { RaiseAssignError(source); }

void TPersistent::RaiseAssignError(const TPersistent& source) const {
    throw core::EConvertError(
        core::FormatText(core::LoadBuiltInText(&core::SAssignError), {source.ClassName(), ClassName()}));
}

namespace {

std::mutex handlerLock;
TApplicationExceptionHandler& InstalledHandler() {
    static TApplicationExceptionHandler handler;
    return handler;
}

}  // namespace

void SetApplicationExceptionHandler(TApplicationExceptionHandler handler) {
    std::lock_guard guard(handlerLock);
    InstalledHandler() = std::move(handler);
}

void HandleApplicationException(TComponent* sender, std::exception_ptr error) {
    TApplicationExceptionHandler handler;
    {
        std::lock_guard guard(handlerLock);
        handler = InstalledHandler();
    }
    if (handler) {
        handler(sender, error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown error\n");
    }
}

}  // namespace serial

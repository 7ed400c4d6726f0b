#include "localization/runtime.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "core/platform/builtin_text.h"
#include "localization/assembly.h"
#include "localization/executable_file.h"
#include "localization/instance.h"
#include "localization/resource_texts.h"

namespace localization {

namespace {

std::mutex startEndMutex;  // start-up and end never overlap
std::string executablePath;
std::unique_ptr<TAssemblyAnalyzer> analyzer;
std::atomic<TGnuGettextInstance*> sharedInstance{nullptr};
std::atomic<const TAssemblyAnalyzer*> analyzerInUse{nullptr};
std::atomic<bool> started{false};
core::BuiltInTextLoader previousLoader = nullptr;

}  // namespace

void StartRuntime() {
    std::lock_guard guard(startEndMutex);
    if (started.load()) return;
    executablePath = OwnExecutablePath();
    analyzer = std::make_unique<TAssemblyAnalyzer>(executablePath);
    analyzerInUse.store(analyzer.get(), std::memory_order_release);
    detail::CreateResourceDomains();

    std::string directory = executablePath.substr(0, executablePath.rfind('/') + 1) + "locale";
    auto instance = std::make_unique<TGnuGettextInstance>(directory, analyzer.get());
    instance->SelectLanguage("");
    instance->BindDomain("default", directory);
    instance->SetTextDomain("default");
    sharedInstance.store(instance.release(), std::memory_order_release);

    SetWideResourceTexts(true);
    previousLoader = core::ReplaceBuiltInTextLoader(&TranslatedBuiltInText);
    started.store(true);
}

void EndRuntime() {
    std::lock_guard guard(startEndMutex);
    if (!started.load()) return;
    delete sharedInstance.exchange(nullptr, std::memory_order_acq_rel);
    detail::DestroyResourceDomains();
    core::ReplaceBuiltInTextLoader(previousLoader);
    previousLoader = nullptr;
    analyzerInUse.store(nullptr, std::memory_order_release);
    analyzer.reset();
    executablePath.clear();
    started.store(false);
}

bool RuntimeStarted() { return started.load(); }

TGnuGettextInstance* SharedInstance() { return sharedInstance.load(std::memory_order_acquire); }

const TAssemblyAnalyzer* AssemblyAnalyzer() { return analyzerInUse.load(std::memory_order_acquire); }

std::string ExecutablePath() {
    std::lock_guard guard(startEndMutex);
    return executablePath;
}

}  // namespace localization

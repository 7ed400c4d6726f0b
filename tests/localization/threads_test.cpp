#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "catalog_fixture.h"
#include "core/platform/builtin_text.h"
#include "env_guard.h"
#include "localization/gettext.h"
#include "localization/instance.h"
#include "localization/runtime.h"

namespace {

// The GUI thread and the port's monitoring thread translate at once while a
// third thread names new domains; the first lookups race to open the catalog.
TEST(Threads, LookupsWhileDomainsAreAppended) {
    testcat::EnvGuard env;
    env.Set("LANG", "ru_RU.UTF-8");
    testcat::TempDir dir;
    testcat::Entries entries = testcat::NumberedEntries(200);
    entries.emplace_back("Cannot open file %s", "Не удается открыть файл %s");
    testcat::InstallCatalog(dir.Path(), "ru_RU", "default", entries);

    localization::RuntimeScope runtime;
    localization::SharedInstance()->BindDomain("default", dir.Dir());

    std::atomic<int> wrong{0};
    auto translator = [&](int seed) {
        for (int round = 0; round < 300; ++round) {
            int i = (round * 7 + seed) % 200;
            std::u16string key = u"key" + std::u16string(4, u'0');
            for (int k = 6, v = i; k >= 3; --k, v /= 10) key[k] = static_cast<char16_t>(u'0' + v % 10);
            std::u16string expected = u"value" + key.substr(3);
            if (localization::Translate(key) != expected) ++wrong;
            if (core::LoadBuiltInText(&core::SFOpenError) != "Не удается открыть файл %s") ++wrong;
            if (core::LoadBuiltInText(&core::SFCreateError) != "Cannot create file %s") ++wrong;
        }
    };
    std::thread gui(translator, 1), monitor(translator, 2);
    std::thread appender([] {
        for (int i = 0; i < 100; ++i) {
            localization::AddResourceDomain("extra" + std::to_string(i));
            localization::SharedInstance()->FindDomain("Domain" + std::to_string(i));
        }
    });
    gui.join();
    monitor.join();
    appender.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(&localization::SharedInstance()->FindDomain("domain99"),
              &localization::SharedInstance()->FindDomain("DOMAIN99"));
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/platform/text_file.h"

namespace {

std::string Shouting(const core::BuiltInText* record) {
    return "!" + core::LoadBuiltInTextUntranslated(record);
}

TEST(BuiltInText, ReplaceableLoaderSeesEveryLoad) {
    EXPECT_EQ(core::LoadBuiltInText(&core::SFOpenError), "Cannot open file %s");
    auto previous = core::ReplaceBuiltInTextLoader(&Shouting);
    EXPECT_EQ(core::LoadBuiltInText(&core::SFOpenError), "!Cannot open file %s");
    try {
        core::ReadWholeTextFile("port.ini.missing");
    } catch (const core::EFOpenError& e) {
        EXPECT_EQ(e.Message(), "!Cannot open file port.ini.missing");
    }
    EXPECT_EQ(core::ReplaceBuiltInTextLoader(previous), &Shouting);
    EXPECT_EQ(core::LoadBuiltInText(&core::SFOpenError), "Cannot open file %s");
}

TEST(BuiltInText, RecordsByAddressAndNullRecord) {
    static const char text[] = "plain text";
    core::BuiltInText byAddress{reinterpret_cast<std::uintptr_t>(text)};
    EXPECT_EQ(core::LoadBuiltInText(&byAddress), "plain text");
    EXPECT_EQ(core::LoadBuiltInText(nullptr), "");
}

TEST(BuiltInText, ResourceBuffersCutLikeThePlatformLoader) {
    core::RegisterStringResource(4242, std::string(1500, 'r'));
    std::string narrow;
    EXPECT_EQ(core::LoadStringResourceNarrow(4242, narrow, 1024), 1023);
    std::u16string wide;
    EXPECT_EQ(core::LoadStringResourceWide(4242, wide, 1024), 1023);
    EXPECT_EQ(core::LoadStringResourceWide(4242, wide, 2048), 1500);
    EXPECT_EQ(core::LoadStringResourceWide(9999, wide, 2048), 0);
}

TEST(BuiltInText, LoaderSwapIsSafeWhileOtherThreadsLoad) {
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            std::string t = core::LoadBuiltInText(&core::SMemoCapacity);
            ASSERT_TRUE(t == "Text exceeds memo capacity" || t == "!Text exceeds memo capacity");
        }
    });
    for (int i = 0; i < 1000; ++i) {
        auto prev = core::ReplaceBuiltInTextLoader(&Shouting);
        core::ReplaceBuiltInTextLoader(prev);
    }
    stop = true;
    reader.join();
}

}  // namespace

#include <gtest/gtest.h>

#include "catalog_fixture.h"
#include "env_guard.h"
#include "localization/instance.h"
#include "localization/resource_texts.h"
#include "localization/runtime.h"
#include "serial/com_error.h"

namespace {

// The order of main: the runtime, then the port component's error table.
class StartUpOrder : public testing::Test {
protected:
    void SetUp() override {
        env.Set("LANG", "ru_RU.UTF-8");
        localization::StartRuntime();
        localization::SharedInstance()->BindDomain("default", dir.Dir());
    }
    void TearDown() override {
        localization::EndRuntime();
        serial::InitPortErrorMessages();  // English again for whoever comes next
    }
    testcat::EnvGuard env;
    testcat::TempDir dir;
};

TEST_F(StartUpOrder, PortErrorsComeTranslated) {
    testcat::InstallCatalog(dir.Path(), "ru_RU", "default",
                            {{"Unable to open com port", "Не удается открыть COM-порт"},
                             {" (win error code: %d)", " (код ошибки Windows: %d)"}});
    serial::InitPortErrorMessages();
    EXPECT_EQ(localization::ResourceDomains(), (std::vector<std::string>{"default", "ruvix"}));
    EXPECT_EQ(serial::EComPort(serial::CError_OpenFailed, 5).Message(),
              "Не удается открыть COM-порт (код ошибки Windows: 5)");
    EXPECT_EQ(serial::EComPort(serial::CError_ConnChangeProp).Message(), "Cannot set property while connected");
}

TEST_F(StartUpOrder, BrokenDefaultCatalogStopsTheStartUp) {
    auto path = dir.Path() / "ru/LC_MESSAGES/default.mo";
    testcat::WriteFile(path, std::string(100, '\0'));
    EXPECT_EQ(testcat::RaisedMessage([] { serial::InitPortErrorMessages(); }),
              "This file is not a valid GNU gettext mo file: " + path.string());
}

}  // namespace

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <optional>

// The waits run Qt's event loop, so every test needs an application object.
struct CoreApplication : ::testing::Environment {
    int argc = 1;
    char name[16] = "serial_tests", *argv[2] = {name, nullptr};
    std::optional<QCoreApplication> app;
    void SetUp() override { app.emplace(argc, argv); }
    void TearDown() override { app.reset(); }
};

static const auto *const environment = ::testing::AddGlobalTestEnvironment(new CoreApplication);

// One application object for the whole test program: the map's device context paints
// with the toolkit, which wants one, as the program has.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>
#include <memory>

namespace {

class GuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[24] = "interrogation_tests";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

// One application object for a whole test program: painting, fonts and widgets want
// one, as the programs have. Test programs that draw or show windows link this file
// (tavi_test(... GUI) or WIDGETS in tests/CMakeLists.txt).
#include <gtest/gtest.h>

#ifdef TAVI_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

#include <cstdlib>
#include <memory>

namespace {

class GuiEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        // Run by hand, the tests still need no display.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<TestApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "tavi_tests";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<TestApplication> app_;
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

#include <gtest/gtest.h>

#include <dlfcn.h>

#include "zent32i_binding.h"

namespace {

TEST(Binding, ResolvesRoutinesOnceAndKeepsWorking) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(zt::ZT_PB_Max(i, 1), i > 1 ? i : 1);
        zt::ZT_Ini_Zent32dll();
    }
}

TEST(BindingDeathTest, AMissingLibraryEndsTheProgramNamingIt) {
    EXPECT_EXIT(zt::detail::open_library("libzent32i-missing.so"),
                testing::ExitedWithCode(EXIT_FAILURE), "libzent32i-missing\\.so");
}

TEST(BindingDeathTest, AMissingRoutineEndsTheProgramNamingIt) {
    void *handle = zt::detail::open_library(zt::kLibraryName);
    ASSERT_NE(handle, nullptr);
    EXPECT_EXIT(zt::detail::resolve(handle, zt::kLibraryName, "ZT_No_Such_Routine"),
                testing::ExitedWithCode(EXIT_FAILURE),
                "libzent32i\\.so\\.1 has no routine ZT_No_Such_Routine");
}

TEST(BindingDeathTest, TheFailureHandlerSeesTheMessageFirst) {
    EXPECT_EXIT(
        {
            zt::set_failure_handler(
                [](const std::string &m) { std::fprintf(stderr, "handler saw: %s\n", m.c_str()); });
            zt::detail::open_library("libnothing-here.so");
        },
        testing::ExitedWithCode(EXIT_FAILURE), "handler saw: .*libnothing-here\\.so");
}

} // namespace

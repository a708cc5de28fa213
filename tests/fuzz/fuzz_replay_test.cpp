// Every input that once made a fuzzing harness fail (tests/data/fuzz/<harness>/), and
// every seed of the committed corpora (fuzz/corpus/<harness>/), replayed through the
// harnesses themselves in an ordinary build: a fault that was mended stays mended. The
// site-database harness reads Access files through the reader process here, as the
// programs do, so an input that brings libmdb down must give dao::Error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

TAVI_FUZZ_INPUT(fuzz_dao);
TAVI_FUZZ_INPUT(fuzz_dbase);
TAVI_FUZZ_INPUT(fuzz_drawing);
TAVI_FUZZ_INPUT(fuzz_linked_data);
TAVI_FUZZ_INPUT(fuzz_project);
TAVI_FUZZ_INPUT(fuzz_raster);
TAVI_FUZZ_INPUT(fuzz_search_input);
TAVI_FUZZ_INPUT(fuzz_settings);
TAVI_FUZZ_INPUT(fuzz_wms_request);
// The harnesses that prepare something once.
TAVI_FUZZ_INIT(fuzz_dao);
TAVI_FUZZ_INIT(fuzz_drawing);
TAVI_FUZZ_INIT(fuzz_settings);

namespace {

namespace fs = std::filesystem;

struct Harness {
    std::function<int(const uint8_t *, size_t)> input;
    std::function<int(int *, char ***)> init;
};

const std::map<std::string, Harness> &harnesses() {
    static const std::map<std::string, Harness> all = {
        {"fuzz_dao", {fuzz_dao_input, fuzz_dao_init}},
        {"fuzz_dbase", {fuzz_dbase_input, nullptr}},
        {"fuzz_drawing", {fuzz_drawing_input, fuzz_drawing_init}},
        {"fuzz_linked_data", {fuzz_linked_data_input, nullptr}},
        {"fuzz_project", {fuzz_project_input, nullptr}},
        {"fuzz_raster", {fuzz_raster_input, nullptr}},
        {"fuzz_search_input", {fuzz_search_input_input, nullptr}},
        {"fuzz_settings", {fuzz_settings_input, fuzz_settings_init}},
        {"fuzz_wms_request", {fuzz_wms_request_input, nullptr}},
    };
    return all;
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzReplay, KeptInputsAndSeedsPassThroughTheHarness) {
    const Harness &h = harnesses().at(GetParam());
    int argc = 0;
    char **argv = nullptr;
    if (h.init)
        h.init(&argc, &argv);
    int replayed = 0;
    for (const fs::path &folder :
         {fs::path(TAVI_SOURCE_DIR) / "tests" / "data" / "fuzz" / GetParam(),
          fs::path(TAVI_SOURCE_DIR) / "fuzz" / "corpus" / GetParam()}) {
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(folder, ec)) {
            SCOPED_TRACE(entry.path().string());
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};
            EXPECT_EQ(h.input(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()), 0);
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "the harness has a corpus";
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzReplay,
                         ::testing::Values("fuzz_dao", "fuzz_dbase", "fuzz_drawing",
                                           "fuzz_linked_data", "fuzz_project", "fuzz_raster",
                                           "fuzz_search_input", "fuzz_settings",
                                           "fuzz_wms_request"));

} // namespace

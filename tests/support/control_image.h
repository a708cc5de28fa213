// A picture written by a program, checked against its control image in tests/control at
// the render tests' tolerance. TAVI_REBASELINE=1 writes the control image instead, on
// purpose; a failure keeps the picture and a difference image in a folder it names.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/image_compare.h"

namespace testing_support {

inline void expect_control_image(const std::filesystem::path &actual_file,
                                 const std::string &control_name) {
    namespace fs = std::filesystem;
    const QImage actual(QString::fromStdString(actual_file.string()));
    ASSERT_FALSE(actual.isNull()) << "no picture " << actual_file;
    const fs::path control =
        fs::path(TAVI_SOURCE_DIR) / "tests" / "control" / (control_name + ".png");
    if (std::getenv("TAVI_REBASELINE")) {
        fs::copy_file(actual_file, control, fs::copy_options::overwrite_existing);
        GTEST_SKIP() << "wrote control image " << control;
    }
#ifdef TAVI_RENDER_UNCOMPARED
    // The instrumented build places a few symbols a pixel apart: it makes, not compares.
    return;
#endif
    const QImage expected(QString::fromStdString(control.string()));
    ASSERT_FALSE(expected.isNull())
        << "no control image " << control << " (run with TAVI_REBASELINE=1 to make one)";
    const auto match =
        images_match(actual, expected, kChannelTolerance, allowed_differences(actual));
    if (!match) {
        std::string kept = (fs::temp_directory_path() / "tavi-control-failure-XXXXXX").string();
        if (::mkdtemp(kept.data()) != nullptr) {
            fs::copy_file(actual_file, fs::path(kept) / (control_name + ".actual.png"));
            difference(actual, expected)
                .save(QString::fromStdString(
                    (fs::path(kept) / (control_name + ".diff.png")).string()));
        }
        ADD_FAILURE() << control_name << ": " << match.message()
                      << "; actual and difference images in " << kept;
    }
}

// The first page of a PDF as poppler's pdftoppm draws it at 60 dots an inch (page1.png in
// folder), against its control image.
inline void expect_first_page_control_image(const QString &pdf, const std::filesystem::path &folder,
                                            const std::string &control_name) {
    const std::filesystem::path page = folder / "page1";
    QProcess p;
    p.start("pdftoppm", {"-r", "60", "-f", "1", "-l", "1", "-png", "-singlefile", pdf,
                         QString::fromStdString(page.string())});
    ASSERT_TRUE(p.waitForFinished(120000)) << "pdftoppm did not end";
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    expect_control_image(folder / "page1.png", control_name);
}

} // namespace testing_support

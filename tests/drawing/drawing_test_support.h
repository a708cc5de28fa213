// Shared pieces of the drawing tests: a scratch folder, a small map window with a
// known view, and world points chosen by the pixel they land on.
#pragma once

#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "drawing/display.h"
#include "platform/surface/gdi.h"
#include "project/load_data.h"
#include "project/session.h"
#include "state/drawing_table.h"
#include "state/ui_hooks.h"
#include "state/view_state.h"
#include "tools/writers/drw_writer.h"
#include "view/transform.h"

#include "support/temp_folder.h"

namespace drawtest {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class ScratchDir {
  public:
    const fs::path &path() const { return folder_.path(); }
    std::string file(const std::string &name) const { return (path() / name).string(); }

  private:
    testing_support::TempFolder folder_;
};

inline void write_bytes(const fs::path &p, const std::vector<uint8_t> &bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> read_bytes(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The map: 200 x 100 pixels showing 200 x 100 world units on the national grid, one
// pixel per unit, so that a world point's pixel is easy to read off.
constexpr int kWidth = 200;
constexpr int kHeight = 100;
constexpr int32_t kX0 = 50000000; // View_X_Min
constexpr int32_t kY0 = 30000000; // View_Y_Min
constexpr gdi::Colour kWhite = gdi::rgb(255, 255, 255);

// The world point (z = 0) that lands on pixel (px, py) in the default view.
inline ZT_Point3 at(int px, int py, int32_t z = 0) {
    return ZT_Point3{kX0 + px, kY0 + kHeight - py, z};
}
// The same point in tenths of a unit.
inline ZT_Point3 at_tenths(int px, int py, int32_t z = 0) {
    const ZT_Point3 p = at(px, py, z);
    return ZT_Point3{p.x * 10, p.y * 10, p.z * 10};
}

// Gives the open group the whole default view as its box. A group whose box is
// less than 2 pixels tall or wide is shown as a single pixel, which would hide a
// horizontal or vertical test line drawn on its own.
inline void view_sized_group(writers::DrwWriter &w) {
    w.set_group_extent(kX0, kY0, 0, kX0 + kWidth, kY0 + kHeight, 0);
}

// Palette entries the tests use.
constexpr uint8_t kBlue = 1, kRed = 2, kGreen = 3;

class MapWindow {
  public:
    MapWindow()
        : session_(kWidth, kHeight, ui), view(session_.state().view),
          drawings(session_.state().drawings), options(session_.state().display),
          progress(session_.state().progress), dc_(session_.dc()) {
        options.Drawing_Palette[kBlue] = gdi::rgb(0, 0, 255);
        options.Drawing_Palette[kRed] = gdi::rgb(255, 0, 0);
        options.Drawing_Palette[kGreen] = gdi::rgb(0, 160, 0);
        ui.status_message = [this](const std::string &m) { messages.push_back(m); };
        ui.set_pointer = [this](int p) { pointers.push_back(p); };
        ui.process_events = [this] {
            ++events;
            if (on_events)
                on_events();
        };
        set_view(kX0, kY0, kHeight);
    }

    // Sets the primary view fields and prepares the view as a redraw does, then
    // clears the window (preparing draws its border).
    void set_view(double x_min, double y_min, int32_t height_units) {
        view.View_X_Min = x_min;
        view.View_Y_Min = y_min;
        view.View_Height_Units = height_units;
        view.Fine_Units = 0;
        view::Prepare_View(view, dc_, kWidth, kHeight);
        clear();
    }
    void clear() { dc_.clear(kWhite); }

    // The session's context, with this window's pointer style.
    drawing::DisplayContext &context() {
        session_.state().interaction.Cursor_Style = cursor_style;
        return session_.display_context();
    }
    // Registers the drawing as the project's next (as opening a project does) when asked,
    // then draws it; the entry's number, 0 when the table refused it.
    int display(const std::string &drw, bool register_first = true) {
        int n = 0;
        if (register_first)
            n = project::register_drawing(drawings, drw, data_folder, program_folder, ui);
        drawing::Display_A_Drawing(context(), drw);
        return n;
    }
    drawing::DrawingCache &cache() { return session_.drawing_cache(); }

    gdi::Colour pixel(int x, int y) const { return dc_.get_pixel(x, y); }
    int count_not(gdi::Colour c) const {
        int n = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (dc_.get_pixel(x, y) != c)
                    ++n;
        return n;
    }
    int painted() const { return count_not(kWhite); }
    // Painted pixels in one column (for line widths).
    int painted_in_column(int x) const {
        int n = 0;
        for (int y = 0; y < kHeight; ++y)
            if (dc_.get_pixel(x, y) != kWhite)
                ++n;
        return n;
    }
    QImage image() { return session_.picture().copy(); }
    gdi::DeviceContext &dc() { return dc_; }

    state::UiHooks ui; // before the session, which talks through it

  private:
    project::Session session_;

  public:
    state::ViewState &view;
    state::DrawingTable &drawings;
    drawing::DisplayOptions &options;
    drawing::DrawingProgress &progress;
    std::string data_folder = "/nonexistent/data/";
    std::string program_folder = "/nonexistent/program/";
    int cursor_style = 0;

    std::vector<std::string> messages;
    std::vector<int> pointers;
    int events = 0;
    std::function<void()> on_events;

  private:
    gdi::DeviceContext &dc_;
};

// Runs fn and ends the whole test program if it has not finished in time: a damaged
// file must never make the reader loop for ever, and a hung test would only show up
// as a time-out of the suite.
inline void must_finish(const std::function<void()> &fn, std::chrono::seconds limit,
                        const std::string &what) {
    auto done = std::async(std::launch::async, fn);
    if (done.wait_for(limit) == std::future_status::timeout) {
        std::fprintf(stderr, "HANG: %s did not finish within %lld s\n", what.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(3);
    }
    done.get();
}

} // namespace drawtest

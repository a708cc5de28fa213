// A map of 600 x 400 pixels with its device context and a recorder in place of the map
// window: what the mouse handlers show, which pointer they set, how often they redraw.
#pragma once

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interrogation/mouse_tools.h"
#include "platform/surface/gdi.h"
#include "project/app_state.h"
#include "view/transform.h"

namespace mouse_test {

using namespace interrogation;
using state::ToolCode;

inline constexpr int kWidth = 600;
inline constexpr int kHeight = 400;
inline constexpr gdi::Colour kWhite = gdi::rgb(255, 255, 255);
// White under the exclusive-or yellow of a rubber band.
inline constexpr gdi::Colour kBandOnWhite = gdi::rgb(0, 0, 255);

class MouseTest : public ::testing::Test {
  protected:
    MouseTest() : image_(kWidth, kHeight, QImage::Format_RGB32), dc_(image_) {
        dc_.clear(kWhite);
        hooks_.ui.status_message = [this](const std::string &t) { messages_.push_back(t); };
        hooks_.ui.set_pointer = [this](int p) { pointer_ = p; };
        hooks_.pointer = [this] { return pointer_; };
        hooks_.grid_ref = [this](const std::string &t) { grid_refs_.push_back(t); };
        hooks_.raster_name = [this](const std::string &t) { raster_names_.push_back(t); };
        hooks_.redraw = [this] { ++redraws_; };
        hooks_.repaint = [this] { ++repaints_; };
        hooks_.refresh_timer = [this](bool on) { timer_on_ = on; };
        hooks_.open_panel = [this] { ++panel_opened_; };
        state_.navigation.Tool_Pointer = state::kPointerCross;
        pointer_ = state::kPointerCross;
    }

    // Shows the view with its lower-left corner at (x_min, y_min) and the given height,
    // as a redraw prepares it; the picture stays white.
    void show_view(double x_min, double y_min, int32_t height) {
        auto &v = state_.view;
        v.View_X_Min = x_min;
        v.View_Y_Min = y_min;
        v.View_Height_Units = height;
        view::Prepare_View(v, dc_, kWidth, kHeight);
        dc_.clear(kWhite);
    }

    MapMouse mouse() {
        interrogation::MouseState parts{state_.view,     state_.navigation, state_.interaction,
                                        state_.settings, state_.furniture,  state_.boxes,
                                        state_.rasters,  state_.progress};
        return MapMouse{parts, drag_, dc_, hooks_, searches_};
    }
    void down(int button, double x, double y) {
        auto m = mouse();
        Form_MouseDown(m, button, kNoShift, x, y);
    }
    void move(int buttons, double x, double y) {
        auto m = mouse();
        Form_MouseMove(m, buttons, kNoShift, x, y);
    }
    void up(int button, double x, double y) {
        auto m = mouse();
        Form_MouseUp(m, button, kNoShift, x, y);
    }
    void click() {
        auto m = mouse();
        Form_Click(m);
    }

    gdi::Colour pixel(int x, int y) { return dc_.get_pixel(x, y); }
    int count(gdi::Colour c) {
        int n = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (dc_.get_pixel(x, y) == c)
                    ++n;
        return n;
    }
    QImage snapshot() { return dc_.image().copy(); }

    project::AppState state_;
    DragRecord drag_;
    QImage image_;
    gdi::DeviceContext dc_;
    MapWindowHooks hooks_;
    Searches searches_;

    std::vector<std::string> messages_;
    std::vector<std::string> grid_refs_;
    std::vector<std::string> raster_names_;
    int pointer_ = 0;
    int redraws_ = 0;
    int repaints_ = 0;
    bool timer_on_ = true;
    int panel_opened_ = 0;
};

} // namespace mouse_test

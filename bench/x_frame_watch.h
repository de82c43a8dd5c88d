// Watches an X display from outside for a program's first frame: the moment one of the windows
// created since Arm() shows the expected pixels.
#pragma once

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "bench/child_process.h"

struct ExpectedPixel {
    int x;
    int y;
    std::uint32_t rgb;  // 0x00RRGGBB
};

class XFrameWatch {
public:
    // Connects to the display that DISPLAY names.
    explicit XFrameWatch(std::vector<ExpectedPixel> pixels);
    ~XFrameWatch();
    XFrameWatch(const XFrameWatch&) = delete;
    XFrameWatch& operator=(const XFrameWatch&) = delete;
    XFrameWatch(XFrameWatch&&) = delete;
    XFrameWatch& operator=(XFrameWatch&&) = delete;

    // Forgets the windows seen so far; call before starting the program.
    void Arm();
    // When a new window first showed the expected pixels, or none by the deadline.
    std::optional<Clock::time_point> WaitForFrame(Clock::time_point deadline);

private:
    void Watch(xcb_window_t window);
    [[nodiscard]] bool ShowsExpectedPixels(xcb_window_t window) const;

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    std::uint8_t damageNotify_ = 0;
    std::vector<ExpectedPixel> pixels_;
    std::vector<std::pair<xcb_window_t, xcb_damage_damage_t>> watched_;
};

#include "bench/x_frame_watch.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

template <class Reply>
using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <class Reply>
ReplyPointer<Reply> Owned(Reply* reply) {
    return {reply, &std::free};
}

bool Near(std::uint32_t actual, std::uint32_t expected) {
    constexpr int Tolerance = 8;  // per channel
    constexpr std::array<int, 3> Shifts{0, 8, 16};
    return std::ranges::all_of(Shifts, [&](int shift) {
        return std::abs(int((actual >> shift) & 0xFFU) - int((expected >> shift) & 0xFFU)) <= Tolerance;
    });
}

}  // namespace

XFrameWatch::XFrameWatch(std::vector<ExpectedPixel> pixels)
    : connection_(xcb_connect(nullptr, nullptr)), pixels_(std::move(pixels)) {
    if (xcb_connection_has_error(connection_) != 0) {
        throw std::runtime_error("cannot connect to the X display");
    }
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection_, &xcb_damage_id);
    if (damage == nullptr || damage->present == 0) {
        throw std::runtime_error("the X display has no Damage extension");
    }
    damageNotify_ = std::uint8_t(damage->first_event + XCB_DAMAGE_NOTIFY);
    Owned(xcb_damage_query_version_reply(connection_, xcb_damage_query_version(connection_, 1, 1), nullptr));
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    // New top-level windows are created and mapped as children of the root window.
    const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &events);
    Arm();
}

XFrameWatch::~XFrameWatch() { xcb_disconnect(connection_); }

void XFrameWatch::Arm() {
    for (const auto& [window, damage] : watched_) {
        xcb_damage_destroy(connection_, damage);  // an error when the window is gone, which is fine
    }
    watched_.clear();
    Owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    while (Owned(xcb_poll_for_event(connection_))) {
    }
}

void XFrameWatch::Watch(xcb_window_t window) {
    const xcb_damage_damage_t damage = xcb_generate_id(connection_);
    xcb_damage_create(connection_, damage, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
    xcb_flush(connection_);
    watched_.emplace_back(window, damage);
}

bool XFrameWatch::ShowsExpectedPixels(xcb_window_t window) const {
    for (const ExpectedPixel& pixel : pixels_) {
        const auto image =
            Owned(xcb_get_image_reply(connection_,
                                      xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window,
                                                    std::int16_t(pixel.x), std::int16_t(pixel.y), 1, 1, ~0U),
                                      nullptr));
        if (!image || xcb_get_image_data_length(image.get()) < 4) {
            return false;  // not viewable yet, or smaller than the picture
        }
        std::uint32_t value = 0;
        std::memcpy(&value, xcb_get_image_data(image.get()), sizeof value);
        if (!Near(value, pixel.rgb)) {
            return false;
        }
    }
    return true;
}

std::optional<Clock::time_point> XFrameWatch::WaitForFrame(Clock::time_point deadline) {
    for (;;) {
        auto event = Owned(xcb_poll_for_event(connection_));
        if (!event) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd readable{.fd = xcb_get_file_descriptor(connection_), .events = POLLIN, .revents = 0};
            if (left.count() <= 0 || poll(&readable, 1, int(left.count()) + 1) < 0) {
                return std::nullopt;
            }
            continue;
        }
        const auto type = std::uint8_t(event->response_type & 0x7FU);
        if (type == XCB_CREATE_NOTIFY) {
            const auto* created = reinterpret_cast<const xcb_create_notify_event_t*>(event.get());
            if (created->parent == root_) {
                Watch(created->window);
            }
        } else if (type == XCB_MAP_NOTIFY || type == damageNotify_) {
            const xcb_window_t window = type == XCB_MAP_NOTIFY
                                            ? reinterpret_cast<const xcb_map_notify_event_t*>(event.get())->window
                                            : reinterpret_cast<const xcb_damage_notify_event_t*>(event.get())->drawable;
            if (ShowsExpectedPixels(window)) {
                return Clock::now();
            }
        }
    }
}

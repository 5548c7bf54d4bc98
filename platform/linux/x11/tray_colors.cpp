#include "platform/linux/x11/tray_colors.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <memory>
#include <string>

namespace korvane::linux_platform {

namespace {

template <class T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atomNamed(xcb_connection_t* connection, const std::string& name) {
    XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.c_str()),
                              nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

}  // namespace

std::optional<QColor> xembedTrayForeground() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return std::nullopt;

    // The tray of the first screen: Korvane's icon goes there too.
    const xcb_atom_t selection = atomNamed(connection, "_NET_SYSTEM_TRAY_S0");
    const xcb_atom_t colors = atomNamed(connection, "_NET_SYSTEM_TRAY_COLORS");
    if (selection == XCB_ATOM_NONE || colors == XCB_ATOM_NONE) return std::nullopt;
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr), &std::free);
    if (!owner || owner->owner == XCB_WINDOW_NONE) return std::nullopt;

    XcbReply<xcb_get_property_reply_t> property(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, owner->owner, colors, XCB_ATOM_CARDINAL, 0, 12),
                               nullptr),
        &std::free);
    if (!property || property->format != 32 || xcb_get_property_value_length(property.get()) < 12) {
        return std::nullopt;
    }
    // Foreground red, green and blue come first, 16 bits each.
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(property.get()));
    return QColor::fromRgba64(static_cast<quint16>(values[0]), static_cast<quint16>(values[1]),
                              static_cast<quint16>(values[2]));
}

}  // namespace korvane::linux_platform

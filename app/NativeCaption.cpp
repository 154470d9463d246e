#include "app/NativeCaption.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <string>

#ifdef MIGRACJA_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace migracja::app {

#ifdef MIGRACJA_HAVE_XCB
namespace {

xcb_connection_t* XConnection() {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) return nullptr;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(
        c, 0, static_cast<std::uint16_t>(std::char_traits<char>::length(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
    if (!reply) return XCB_ATOM_NONE;
    return reply->atom;
}

}  // namespace

void KeepCaptionEmpty(QWidget& w) {
    xcb_connection_t* c = XConnection();
    if (!c) return;
    const auto window = static_cast<xcb_window_t>(w.winId());
    const xcb_atom_t netWmName = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    if (netWmName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmName, utf8, 8, 0, "");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                        "");
    xcb_flush(c);
}

std::optional<QString> NativeCaption(QWidget& w) {
    xcb_connection_t* c = XConnection();
    if (!c) return std::nullopt;
    const auto window = static_cast<xcb_window_t>(w.winId());
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(c, 0, window, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"), 0, 4096);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, cookie, nullptr), &std::free);
    if (!reply) return std::nullopt;
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

#else

void KeepCaptionEmpty(QWidget&) {}

std::optional<QString> NativeCaption(QWidget&) {
    return std::nullopt;
}

#endif

}  // namespace migracja::app

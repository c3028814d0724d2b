#include "ui/qt/desktop_palette.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStyle>
#include <cstdlib>

namespace vorpel {

namespace {

constexpr int REPLY_TIMEOUT_MS = 2000;
constexpr int LIGHT_WINDOW_LIGHTNESS = 128;  // a window colour at least this light is a light palette

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < LIGHT_WINDOW_LIGHTNESS;
}

QPalette darkPalette() {
    QPalette p;
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), button(58, 58, 62);
    const QColor disabled(130, 130, 130), highlight(61, 122, 214);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(255, 90, 90));
    p.setColor(QPalette::Light, button.lighter(140));
    p.setColor(QPalette::Midlight, button.lighter(120));
    p.setColor(QPalette::Mid, button.darker(120));
    p.setColor(QPalette::Dark, button.darker(160));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, highlight.lighter(130));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

void apply(ColourScheme scheme) {
    const QPalette current = QApplication::palette();
    const QPalette wanted = paletteFor(scheme, current);
    if (wanted != current) QApplication::setPalette(wanted);
}

// The portal wraps the value in one variant, older portals in two.
uint32_t unwrapPortalValue(QVariant value) {
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value.toUInt();
}

}  // namespace

ColourScheme colourSchemeFromPortal(uint32_t value) {
    switch (value) {
    case 1:
        return ColourScheme::Dark;
    case 2:
        return ColourScheme::Light;
    default:
        return ColourScheme::NoPreference;
    }
}

ColourScheme colourSchemeFromGtkTheme(std::string_view gtkTheme) {
    constexpr std::string_view DARK_SUFFIX = ":dark";
    return gtkTheme.size() >= DARK_SUFFIX.size() &&
                   gtkTheme.substr(gtkTheme.size() - DARK_SUFFIX.size()) == DARK_SUFFIX
               ? ColourScheme::Dark
               : ColourScheme::NoPreference;
}

QPalette paletteFor(ColourScheme scheme, const QPalette& current) {
    if (scheme == ColourScheme::Dark && !isDark(current)) return darkPalette();
    if (scheme == ColourScheme::Light && isDark(current)) return QApplication::style()->standardPalette();
    return current;
}

void followDesktopColourScheme(const QDBusConnection& bus) {
    const char* gtkTheme = std::getenv("GTK_THEME");
    const ColourScheme fallback = colourSchemeFromGtkTheme(gtkTheme != nullptr ? gtkTheme : "");
    if (!bus.isConnected()) {
        apply(fallback);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, REPLY_TIMEOUT_MS), qApp);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, qApp,
                     [fallback](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         const QDBusMessage reply = done->reply();
                         ColourScheme scheme = fallback;
                         if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                             const ColourScheme portal =
                                 colourSchemeFromPortal(unwrapPortalValue(reply.arguments().front()));
                             if (portal != ColourScheme::NoPreference) scheme = portal;
                         }
                         apply(scheme);
                     });
}

}  // namespace vorpel

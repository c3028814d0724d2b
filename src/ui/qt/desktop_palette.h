// The window on a light or a dark desktop. Where a platform theme hands Qt the
// desktop's palette, Qt follows it by itself; where none does, the desktop
// still says what it prefers: the desktop portal's appearance setting
// "color-scheme" (0 no preference, 1 dark, 2 light), or a GTK_THEME ending in
// ":dark". followDesktopColourScheme asks for it once at start-up and sets a
// matching palette on the application. The lamps paint their own red and grey
// and are not affected.
//
// Threads: GUI thread only.
#pragma once

#include <QDBusConnection>
#include <QPalette>
#include <cstdint>
#include <string_view>

namespace vorpel {

enum class ColourScheme { NoPreference, Dark, Light };

// The portal's value, or the GTK_THEME text when the portal gives none.
ColourScheme colourSchemeFromPortal(uint32_t value);
ColourScheme colourSchemeFromGtkTheme(std::string_view gtkTheme);

// The palette to use: `current` when it already matches the scheme (or there
// is no preference), otherwise a dark palette or the style's standard one.
QPalette paletteFor(ColourScheme scheme, const QPalette& current);

// Reads the preference without blocking start-up and applies it when the
// answer comes; without a session bus or portal only GTK_THEME counts.
void followDesktopColourScheme(const QDBusConnection& bus);

}  // namespace vorpel

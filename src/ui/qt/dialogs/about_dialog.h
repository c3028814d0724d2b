// CDAbout: the product name and version under an empty icon place.
#pragma once

#include <string_view>

#include "ui/qt/dialogs/action_key_dialog.h"

namespace vorpel {

inline constexpr std::string_view ABOUT_TITLE = "About Vorpel";
inline constexpr std::string_view PRODUCT_TEXT = "Vorpel Mobile 1.16";

class CDAbout final : public ActionKeyDialog {
public:
    explicit CDAbout(QWidget* parent = nullptr);
};

// Runs CDAbout modally until the user closes it.
void execAboutDialog(QWidget* parent);

}  // namespace vorpel

// The message box for the terminal's platform failures ("Sount
// initialization fault!", "Socket fault!"): an error icon, the text and one
// OK button, titled with the program's name.
#pragma once

#include <memory>
#include <string_view>

class QMessageBox;
class QWidget;

namespace vorpel {

std::unique_ptr<QMessageBox> makeErrorBox(QWidget* parent, std::string_view text);
// Shows the box modally until the user presses OK.
void showErrorBox(QWidget* parent, std::string_view text);

}  // namespace vorpel
